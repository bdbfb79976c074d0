#include "safe_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string Folder(const std::string& path)
{
    const std::size_t slash = path.find_last_of(
#ifdef _WIN32
        "\\/:"
#else
        "/"
#endif
    );
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

}  // namespace

#ifdef _WIN32

namespace {

std::string SystemReason(DWORD code)
{
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                        code, 0, text, sizeof text, NULL);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

bool Identify(HANDLE file, FileIdentity* identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity->known = true;
    return true;
}

}  // namespace

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, FileIdentity* identity,
                   std::string* why)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = "it is a folder, not a file";
        return false;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *why = SystemReason(GetLastError());
        return false;
    }
    bool ok = false;
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        *why = "it is not a regular file";
    } else if (!GetFileSizeEx(file, &size)) {
        *why = SystemReason(GetLastError());
    } else if (static_cast<std::uint64_t>(size.QuadPart) > kLargestInput) {
        *why = "it is larger than " + std::to_string(kLargestInput >> 20) + " MiB";
    } else {
        Identify(file, identity);
        bytes->resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, NULL) &&
             got == bytes->size();
        if (!ok)
            *why = got == bytes->size() ? SystemReason(GetLastError()) : "it changed while it was read";
    }
    CloseHandle(file);
    return ok;
}

SafeOutput::~SafeOutput()
{
    Discard();
}

bool SafeOutput::Open(const std::string& path, const FileIdentity& input, std::string* why)
{
    target_ = path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            *why = "it is a folder, not a file";
            return false;
        }
        HANDLE existing = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        FileIdentity identity;
        if (existing != INVALID_HANDLE_VALUE) {
            Identify(existing, &identity);
            CloseHandle(existing);
        }
        if (input.known && identity.known && identity.device == input.device && identity.file == input.file) {
            *why = "it is the input file; give the output another name";
            return false;
        }
    }
    const std::string folder = Folder(path);
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        temporary_ = folder + ".groobler-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(attempt) + ".tmp";
        HANDLE file = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = file;
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            temporary_.clear();
            *why = "cannot create a temporary file beside it: " + SystemReason(code);
            return false;
        }
    }
    temporary_.clear();
    *why = "cannot create a temporary file beside it: every name tried exists";
    return false;
}

bool SafeOutput::Write(const std::uint8_t* data, std::size_t size, std::string* why)
{
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!WriteFile(static_cast<HANDLE>(handle_), data, chunk, &written, NULL) || written == 0) {
            *why = SystemReason(GetLastError());
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool SafeOutput::Commit(std::string* why)
{
    HANDLE file = static_cast<HANDLE>(handle_);
    handle_ = nullptr;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    const DWORD flushError = GetLastError();
    if (!CloseHandle(file) || !flushed) {
        *why = SystemReason(flushed ? GetLastError() : flushError);
        return false;
    }
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *why = SystemReason(GetLastError());
        return false;
    }
    temporary_.clear();
    return true;
}

void SafeOutput::Discard()
{
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    if (!temporary_.empty())
        DeleteFileA(temporary_.c_str());
    temporary_.clear();
}

#else

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, FileIdentity* identity,
                   std::string* why)
{
    // Not blocking: a named pipe would otherwise wait here for a writer.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *why = std::strerror(errno);
        return false;
    }
    bool ok = false;
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        *why = std::strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        *why = "it is a folder, not a file";
    } else if (!S_ISREG(status.st_mode)) {
        *why = "it is not a regular file";
    } else if (static_cast<std::uint64_t>(status.st_size) > kLargestInput) {
        *why = "it is larger than " + std::to_string(kLargestInput >> 20) + " MiB";
    } else {
        identity->device = static_cast<std::uint64_t>(status.st_dev);
        identity->file = static_cast<std::uint64_t>(status.st_ino);
        identity->known = true;
        // One byte more than the size said, to notice a file still growing.
        bytes->resize(static_cast<std::size_t>(status.st_size) + 1);
        std::size_t got = 0;
        ok = true;
        while (got < bytes->size()) {
            const ssize_t n = read(descriptor, bytes->data() + got, bytes->size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *why = std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (ok && got != static_cast<std::size_t>(status.st_size)) {
            *why = "it changed while it was read";
            ok = false;
        }
        bytes->resize(got);
    }
    close(descriptor);
    return ok;
}

SafeOutput::~SafeOutput()
{
    Discard();
}

bool SafeOutput::Open(const std::string& path, const FileIdentity& input, std::string* why)
{
    target_ = path;
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        // Through the link to its file, which is replaced; the link stays.
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) == nullptr) {
            *why = std::string("it is a link that leads nowhere: ") + std::strerror(errno);
            return false;
        }
        target_ = resolved;
    }
    if (stat(target_.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            *why = "it is a folder, not a file";
            return false;
        }
        if (!S_ISREG(status.st_mode)) {
            *why = "it is not a regular file";
            return false;
        }
        if (input.known && static_cast<std::uint64_t>(status.st_dev) == input.device &&
            static_cast<std::uint64_t>(status.st_ino) == input.file) {
            *why = "it is the input file; give the output another name";
            return false;
        }
        mode_ = status.st_mode & 07777;
    } else if (errno == ENOENT) {
        const mode_t mask = umask(0);
        umask(mask);
        mode_ = 0666 & ~mask;
    } else {
        *why = std::strerror(errno);
        return false;
    }
    // A fresh name, created exclusively: never an existing file or link.
    std::string name = Folder(target_) + ".groobler-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    descriptor_ = mkstemp(buffer.data());
    if (descriptor_ < 0) {
        *why = std::string("cannot create a temporary file beside it: ") + std::strerror(errno);
        return false;
    }
    temporary_ = buffer.data();
    return true;
}

bool SafeOutput::Write(const std::uint8_t* data, std::size_t size, std::string* why)
{
    while (size > 0) {
        const ssize_t n = write(descriptor_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SafeOutput::Commit(std::string* why)
{
    const int descriptor = descriptor_;
    descriptor_ = -1;
    bool ok = fchmod(descriptor, static_cast<mode_t>(mode_)) == 0 && fsync(descriptor) == 0;
    int error = ok ? 0 : errno;
    if (close(descriptor) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        *why = std::strerror(error);
        return false;
    }
    temporary_.clear();
    return true;
}

void SafeOutput::Discard()
{
    if (descriptor_ >= 0)
        close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty())
        unlink(temporary_.c_str());
    temporary_.clear();
}

#endif
