#include "safe_file.h"

// What both systems share; the rest is in safe_file_posix.cpp and
// safe_file_windows.cpp, one of which the build takes.
// Small writes (a file of many small chunks makes millions) are gathered
// into writes of 64 KiB, so that the system is asked few times; larger
// ones go straight through, uncopied, after what was gathered before them.
bool SafeOutput::Write(const std::uint8_t* data, std::size_t size, std::string* why)
{
    const std::size_t kBuffer = 64 * 1024, kLarge = 16 * 1024;
    if (buffer_.size() + size > kBuffer || size >= kLarge)
        if (!Flush(why))
            return false;
    if (size >= kLarge)
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

