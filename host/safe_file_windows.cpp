// The output on Windows: a link is followed by opening the output and asking
// for its final path; the temporary file is made with CREATE_NEW beside
// that path and moved over it in one step.
#include "safe_file.h"

#include <windows.h>

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

