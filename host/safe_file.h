// Reading the file a user named, and writing the one they named without
// ever touching another: the output is written to a new temporary file
// beside it, created exclusively, and renamed over it in one step.
//
// What holds where (safe_file_posix.cpp, safe_file_windows.cpp):
//  - both: the input a regular file of at most kLargestInput bytes; the
//    output never the input file, nor a folder or special file; nothing
//    but the temporary file removed on failure; the output never partial.
//  - POSIX only: the output's whole path walked a name at a time from
//    held folders, every link on it (in its folders too, not only its last
//    name) followed only where the kernel's protected-symlinks rule would
//    follow it, whatever the system's own setting is, and at most 40 links,
//    as the system's own limit; permission bits, owner and group carried
//    over; the temporary file removed on SIGINT, SIGTERM and SIGHUP, which
//    are held back while its name is recorded or removed.
//  - Windows only: links are followed by the system (the output's final
//    path), with no rule about their owners; no signals.
#ifndef GROOBLE_SAFE_FILE_H
#define GROOBLE_SAFE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#ifndef _WIN32
struct stat;
#endif

// The largest input read: a MIDI file of this size holds tens of millions
// of notes.
const std::uint64_t kLargestInput = 256ull << 20;

// Which file a name leads to, whatever the name.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool known = false;
};

// Reads a regular file of at most kLargestInput bytes whole; on POSIX its
// path is walked as the output's is, and nothing but a regular file is
// opened. On failure, false and *why says what is wrong, with the system's
// own reason.
bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>* bytes, FileIdentity* identity,
                   std::string* why);

// The output file. Open finds and checks it; Create makes the temporary
// file beside it once there is something to write; Write appends (through
// a buffer); Commit renames it over the output. Whatever fails, the
// temporary file (and only that) is removed, and the output is as it was;
// on POSIX the temporary file has no name until the moment of the rename
// where the file system allows it, and is removed on every signal that
// would end the program, which then ends as the signal would have ended it.
class SafeOutput {
public:
    SafeOutput() = default;
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;
    ~SafeOutput();

    // Refuses an output that is the input file (by identity, whatever the
    // name), a folder, or anything but a regular file. An output that is
    // a symbolic link is written through: the file it leads to is
    // replaced, and the link stays. On POSIX a link anywhere on the path
    // is followed only where the protected-symlinks rule would follow it,
    // applied to every folder its group or others may write to: there only
    // a link of the caller's own or of the folder's owner.
    bool Open(const std::string& path, const FileIdentity& input, std::string* why);
    bool Create(std::string* why);
    bool Write(const std::uint8_t* data, std::size_t size, std::string* why);
    // An existing output's permission bits, owner and group go to the new
    // file, as far as the caller may give them, and on POSIX its access
    // control list; where the owner cannot be kept, the set-user-ID and
    // set-group-ID bits are dropped.
    bool Commit(std::string* why);

    // Removes the named temporary file of the output being written, if any,
    // on every signal that ends the program and may be caught; a file-size
    // limit (SIGXFSZ) becomes a write error. Once, at the start.
    static void HandleSignals();

private:
    bool Put(const std::uint8_t* data, std::size_t size, std::string* why);
#ifndef _WIN32
    bool Name(int descriptor, std::string* why);
    void Record(const std::string& name);
    bool ReadAccessList(std::string* why);
#endif
    bool Flush(std::string* why);
    void Discard();

    std::string temporary_;
    std::vector<std::uint8_t> buffer_;
#ifdef _WIN32
    std::string target_;   // the output's final path, links followed
    void* handle_ = nullptr;
#else
    int folder_ = -1;      // the output's folder, held open
    std::string name_;     // the output's name in it
    int descriptor_ = -1;
    unsigned mode_ = 0;
    bool existed_ = false;
    unsigned owner_ = 0, group_ = 0;
    std::vector<char> access_;  // an existing output's access control list
#endif
};

#endif
