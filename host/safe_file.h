// Reading the file a user named, and writing the one they named without
// ever touching another: the output is written to a new temporary file
// beside it, created exclusively, and renamed over it in one step. POSIX
// and Windows.
#ifndef GROOBLE_SAFE_FILE_H
#define GROOBLE_SAFE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest input read: a MIDI file of this size holds tens of millions
// of notes.
const std::uint64_t kLargestInput = 256ull << 20;

// Which file a name leads to, whatever the name.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool known = false;
};

// Reads a regular file of at most kLargestInput bytes whole. On failure,
// false and *why says what is wrong, with the system's own reason.
bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, FileIdentity* identity,
                   std::string* why);

// The output file. Open makes the temporary file; Write appends; Commit
// renames it over the output. Whatever fails, the temporary file (and only
// that) is removed, and the output is as it was.
class SafeOutput {
public:
    SafeOutput() = default;
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;
    ~SafeOutput();

    // Refuses an output that is the input file (by identity, whatever the
    // name), a folder, or anything but a regular file. An output that is
    // a symbolic link is written through: the file it leads to is
    // replaced, and the link stays.
    bool Open(const std::string& path, const FileIdentity& input, std::string* why);
    bool Write(const std::uint8_t* data, std::size_t size, std::string* why);
    // An existing output's permission bits go to the new file.
    bool Commit(std::string* why);

private:
    void Discard();

    std::string target_;
    std::string temporary_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int descriptor_ = -1;
    unsigned mode_ = 0;
#endif
};

#endif
