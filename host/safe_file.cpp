#include "safe_file.h"

#include <cerrno>
#include <csignal>
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

// Small writes (a file of many small chunks makes millions) are gathered
// into writes of a mebibyte.
bool SafeOutput::Write(const std::uint8_t* data, std::size_t size, std::string* why)
{
    const std::size_t kBuffer = 1 << 20;
    if (buffer_.size() + size > kBuffer && !Flush(why))
        return false;
    if (size >= kBuffer)
        return Put(data, size, why);
    buffer_.insert(buffer_.end(), data, data + size);
    return true;
}

bool SafeOutput::Flush(std::string* why)
{
    const bool ok = Put(buffer_.data(), buffer_.size(), why);
    buffer_.clear();
    return ok;
}

#ifdef _WIN32

namespace {

// The folder part of a path, with its separator ("" for none).
std::string Folder(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/:");
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

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

void SafeOutput::HandleSignals()
{
}

bool SafeOutput::Open(const std::string& path, const FileIdentity& input, std::string* why)
{
    target_ = path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *why = "it is a folder, not a file";
        return false;
    }
    // Opened through any link, the file itself: its final path is what is
    // replaced, and a link stays a link.
    HANDLE existing = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    FileIdentity identity;
    if (existing != INVALID_HANDLE_VALUE) {
        Identify(existing, &identity);
        char final[32768];
        const DWORD length = GetFinalPathNameByHandleA(existing, final, sizeof final, 0);
        if (length > 0 && length < sizeof final)
            target_.assign(final, length);
        CloseHandle(existing);
    }
    if (input.known && identity.known && identity.device == input.device && identity.file == input.file) {
        *why = "it is the input file; give the output another name";
        return false;
    }
    return true;
}

bool SafeOutput::Create(std::string* why)
{
    const std::string folder = Folder(target_);
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

bool SafeOutput::Put(const std::uint8_t* data, std::size_t size, std::string* why)
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
    if (!Flush(why))
        return false;
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

namespace {

// The temporary file being written, for the signal handler: its folder's
// descriptor (-1: none) and its name there.
volatile sig_atomic_t gTemporaryFolder = -1;
char gTemporaryName[64];

void RemoveTemporaryAndEnd(int signal)
{
    if (gTemporaryFolder >= 0)
        unlinkat(gTemporaryFolder, gTemporaryName, 0);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

std::string Reason(int error)
{
    std::string reason = std::strerror(error);
    if (error == EFBIG)
        reason += " (the file-size limit, see ulimit -f)";
    return reason;
}

// A path's last name, and the folder before it ("." for none).
std::string BaseName(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

std::string FolderName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void SafeOutput::HandleSignals()
{
    struct sigaction action = {};
    action.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old = {};
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
    signal(SIGXFSZ, SIG_IGN);
}

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
            // A file of the system's (as under /proc) says it is empty
            // and then has something to read.
            *why = status.st_size == 0 ? "it is a special file whose size is not known before it is read"
                                       : "it changed while it was read";
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
    if (folder_ >= 0)
        close(folder_);
}

bool SafeOutput::Open(const std::string& path, const FileIdentity& input, std::string* why)
{
    target_ = path;
    // Walked by descriptors, a link at a time: each folder is held open,
    // so that no name looked up can be swapped under what was checked.
    std::string folder = FolderName(path);
    name_ = BaseName(path);
    int from = AT_FDCWD;
    struct stat status;
    for (int links = 0;; ++links) {
        if (name_.empty() || name_ == "." || name_ == "..") {
            *why = "it is a folder, not a file";
            return false;
        }
        const int opened = openat(from, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (opened < 0) {
            *why = std::strerror(errno);
            return false;
        }
        if (folder_ >= 0)
            close(folder_);
        folder_ = opened;
        if (fstatat(folder_, name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                *why = std::strerror(errno);
                return false;
            }
            if (links > 0) {
                *why = "it is a link that leads nowhere";
                return false;
            }
            existed_ = false;
            break;
        }
        if (!S_ISLNK(status.st_mode)) {
            existed_ = true;
            break;
        }
        // In a sticky folder that others may write to, the system follows
        // only a link of the follower's own or of the folder's owner: one
        // planted by another user is not followed here either.
        struct stat shared;
        if (fstat(folder_, &shared) != 0) {
            *why = std::strerror(errno);
            return false;
        }
        if ((shared.st_mode & S_ISVTX) && (shared.st_mode & S_IWOTH) && status.st_uid != geteuid() &&
            status.st_uid != shared.st_uid) {
            *why = "it is a link of another user (uid " + std::to_string(status.st_uid) +
                   ") in a sticky folder that others may write to, which is never followed";
            return false;
        }
        if (links == 40) {
            *why = std::strerror(ELOOP);
            return false;
        }
        char leads[PATH_MAX];
        const ssize_t n = readlinkat(folder_, name_.c_str(), leads, sizeof leads - 1);
        if (n < 0) {
            *why = std::strerror(errno);
            return false;
        }
        const std::string next(leads, static_cast<std::size_t>(n));
        from = next[0] == '/' ? AT_FDCWD : folder_;
        folder = FolderName(next);
        name_ = BaseName(next);
    }
    if (existed_) {
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
        owner_ = status.st_uid;
        group_ = status.st_gid;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode_ = 0666 & ~mask;
    }
    return true;
}

bool SafeOutput::Create(std::string* why)
{
    // A fresh name, created exclusively: never an existing file or link.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = ".groobler-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        descriptor_ = openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor_ >= 0) {
            temporary_ = name;
            std::strcpy(gTemporaryName, name.c_str());
            gTemporaryFolder = folder_;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *why = std::string("cannot create a temporary file beside it: ") + std::strerror(errno);
    return false;
}

bool SafeOutput::Put(const std::uint8_t* data, std::size_t size, std::string* why)
{
    while (size > 0) {
        const ssize_t n = write(descriptor_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = Reason(n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SafeOutput::Commit(std::string* why)
{
    if (!Flush(why))
        return false;
    mode_t mode = static_cast<mode_t>(mode_);
    if (existed_) {
        // As cp -p and install do: the owner and group where the caller
        // may give them; else no set-ID bit for another owner or group.
        bool owner = fchown(descriptor_, owner_, group_) == 0;
        bool group = owner;
        if (!owner) {
            owner = owner_ == geteuid();
            group = fchown(descriptor_, static_cast<uid_t>(-1), group_) == 0;
        }
        if (!owner)
            mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));
        if (!group)
            mode &= static_cast<mode_t>(~S_ISGID);
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    bool ok = fchmod(descriptor, mode) == 0 && fsync(descriptor) == 0;
    int error = ok ? 0 : errno;
    if (close(descriptor) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        *why = Reason(error);
        return false;
    }
    gTemporaryFolder = -1;
    temporary_.clear();
    return true;
}

void SafeOutput::Discard()
{
    if (descriptor_ >= 0)
        close(descriptor_);
    descriptor_ = -1;
    gTemporaryFolder = -1;
    if (!temporary_.empty())
        unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
}

#endif
