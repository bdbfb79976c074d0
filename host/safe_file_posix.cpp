// The output on POSIX systems: its path walked a name at a time from held
// folder descriptors, links checked as the kernel's protected-symlinks
// rule checks them, the temporary file made without a name in the folder
// so held (or, where the file system cannot, exclusively under a name
// nobody can guess), and signals held while a name is recorded or removed.
#include "safe_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <deque>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// A path's names, in order; "." and empty ones (from "a//b") dropped.
std::deque<std::string> Names(const std::string& path)
{
    std::deque<std::string> names;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string name = path.substr(at, slash - at);
        if (!name.empty() && name != ".")
            names.push_back(name);
        at = slash + 1;
    }
    return names;
}

// Whether a path names a folder by its spelling alone: it ends in a slash,
// or its last name is "." or "..".
bool EndsInFolder(const std::string& path)
{
    const std::string last = path.substr(path.find_last_of('/') + 1);
    return last.empty() || last == "." || last == "..";
}

// The extended attribute that holds a file's access control list.
const char* const kAccessList = "system.posix_acl_access";

// The signals whose default ends the program and that it may catch: on
// each, a named temporary file is removed first.
const int kEndingSignals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
                              SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGPIPE};

// Those signals held back for as long as it lives: one that arrives
// meanwhile is taken when it ends, so that the handler never finds a
// temporary file made but not yet recorded, or recorded but already
// removed.
class HeldSignals {
public:
    HeldSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kEndingSignals)
            sigaddset(&set, signal);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~HeldSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t old_;
};

// A name for a temporary file that another user cannot plant beforehand:
// 64 bits from the system's random source.
std::string UnguessableName()
{
    std::uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
        bits ^= static_cast<std::uint64_t>(getpid()) << 32 ^ static_cast<std::uint64_t>(clock());
    char name[40];
    std::snprintf(name, sizeof name, ".groobler-%016llx", static_cast<unsigned long long>(bits));
    return name;
}

// Makes something under a fresh name (make is false, errno EEXIST, where
// the name is taken, and tried again): the name, or empty on failure.
template <typename Make>
std::string UnderFreshName(Make make)
{
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = UnguessableName();
        if (make(name))
            return name;
        if (errno != EEXIST)
            break;
    }
    return "";
}

// Whether a link of owner in the folder may be followed: the kernel's
// protected-symlinks rule, applied to every folder that others than its
// owner may write to (its group, as a team's shared folder, or everyone),
// sticky or not. There only a link of the follower's own, or of the
// folder's owner, is followed. Applied whatever the system's own setting
// is.
bool MayFollow(int folder, uid_t owner, std::string* why)
{
    struct stat shared;
    if (fstat(folder, &shared) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if ((shared.st_mode & (S_IWGRP | S_IWOTH)) && owner != geteuid() && owner != shared.st_uid) {
        *why = "it is a link of another user (uid " + std::to_string(owner) + ") in a folder that " +
               ((shared.st_mode & S_IWOTH) ? "others" : "its group") + " may write to, which is never followed";
        return false;
    }
    return true;
}

// Replaces *held with opened, closing what it held.
void Hold(int* held, int opened)
{
    if (*held >= 0)
        close(*held);
    *held = opened;
}

// Finds the folder that holds path's last name, and that name (*leaf),
// links followed as MayFollow allows: *folder holds the folder, *existed
// says whether the name is there, and *status is its status if so.
bool WalkPath(const std::string& path, int* folder, std::string* leaf, bool* existed, struct stat* status,
              std::string* why)
{
    // A name at a time from a held folder, each opened without following
    // it, so that nothing looked up can be swapped under what was checked;
    // a link is read through its own descriptor and its names take its
    // place on the path, as the kernel would take them.
    std::deque<std::string> names = Names(path);
    if (names.empty() || EndsInFolder(path)) {
        *why = "it is a folder, not a file";
        return false;
    }
    Hold(folder, open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    bool lastFromLink = false;
    for (int links = 0; !names.empty();) {
        const std::string name = names.front();
        names.pop_front();
        const bool last = names.empty();
        if (*folder < 0) {
            *why = std::strerror(errno);
            return false;
        }
        if (name == "..") {
            if (last) {
                *why = "it is a folder, not a file";
                return false;
            }
            Hold(folder, openat(*folder, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            continue;
        }
        const int opened = openat(*folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (opened < 0 && errno == ENOENT && last) {
            if (lastFromLink) {
                *why = "it is a link that leads nowhere";
                return false;
            }
            *leaf = name;
            *existed = false;
            return true;
        }
        if (opened < 0 || fstat(opened, status) != 0) {
            *why = std::strerror(errno);
            if (opened >= 0)
                close(opened);
            return false;
        }
        if (S_ISLNK(status->st_mode)) {
            const bool allowed = MayFollow(*folder, status->st_uid, why);
            char leads[PATH_MAX];
            ssize_t n = -1;
            int error = ELOOP;  // as many links as the system's own limit
            if (allowed && ++links <= 40) {
                n = readlinkat(opened, "", leads, sizeof leads - 1);
                error = n == 0 ? ENOENT : errno;
            }
            close(opened);
            if (!allowed)
                return false;
            if (n <= 0) {
                *why = std::strerror(error);
                return false;
            }
            const std::string next(leads, static_cast<std::size_t>(n));
            const std::deque<std::string> inner = Names(next);
            names.insert(names.begin(), inner.begin(), inner.end());
            if (next[0] == '/')
                Hold(folder, open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (last && (names.empty() || EndsInFolder(next))) {
                *why = "it is a folder, not a file";
                return false;
            }
            lastFromLink = lastFromLink || last;
            continue;
        }
        if (!last) {
            if (!S_ISDIR(status->st_mode)) {
                close(opened);
                *why = std::strerror(ENOTDIR);
                return false;
            }
            Hold(folder, opened);
            continue;
        }
        close(opened);
        *leaf = name;
        *existed = true;
        return true;
    }
    *why = "it is a folder, not a file";
    return false;
}

}  // namespace

void SafeOutput::HandleSignals()
{
    struct sigaction action = {};
    action.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : kEndingSignals) {
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
    // Walked as the output is, so that no link is followed that the rule
    // would not follow; and nothing but a regular file is opened, so that
    // no pipe's writer is let go and no device acts on being opened.
    int folder = -1;
    std::string leaf;
    bool existed = false;
    struct stat walked;
    const bool found = !path.empty() && WalkPath(path, &folder, &leaf, &existed, &walked, why);
    if (path.empty() || (found && !existed))
        *why = std::strerror(ENOENT);
    else if (found && S_ISDIR(walked.st_mode))
        *why = "it is a folder, not a file";
    else if (found && !S_ISREG(walked.st_mode))
        *why = "it is not a regular file";
    // Not blocking and not a terminal, should the name be swapped meanwhile.
    const int descriptor = found && existed && S_ISREG(walked.st_mode)
        ? openat(folder, leaf.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC)
        : -1;
    if (found && existed && S_ISREG(walked.st_mode) && descriptor < 0)
        *why = std::strerror(errno);
    if (folder >= 0)
        close(folder);
    if (descriptor < 0)
        return false;
    bool ok = false;
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        *why = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode) || status.st_dev != walked.st_dev || status.st_ino != walked.st_ino) {
        *why = "it changed while it was opened";
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
    struct stat status;
    if (!WalkPath(path, &folder_, &name_, &existed_, &status, why))
        return false;
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
        if (!ReadAccessList(why))
            return false;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode_ = 0666 & ~mask;
    }
    return true;
}

// The existing output's access control list, as the system keeps it, to
// be given to the file that replaces it: without it, the replaced file's
// owner-and-mode rule would open it to its group. Empty where it has none,
// or where the file system keeps none.
bool SafeOutput::ReadAccessList(std::string* why)
{
    access_.clear();
    const int file = openat(folder_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (file < 0) {
        *why = std::strerror(errno);
        return false;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(file);
    ssize_t size = getxattr(proc.c_str(), kAccessList, nullptr, 0);
    if (size > 0) {
        access_.resize(static_cast<std::size_t>(size));
        size = getxattr(proc.c_str(), kAccessList, access_.data(), access_.size());
    }
    const int error = errno;
    close(file);
    if (size >= 0) {
        access_.resize(static_cast<std::size_t>(size));
        return true;
    }
    access_.clear();
    if (error == ENODATA || error == ENOTSUP || error == ENOENT)
        return true;
    *why = std::string("cannot read its access control list: ") + std::strerror(error);
    return false;
}

bool SafeOutput::Create(std::string* why)
{
    // Without a name, where the file system can: nothing to leave behind,
    // whatever ends the program.
    descriptor_ = openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor_ >= 0)
        return true;
    // Else a fresh name, created exclusively: never an existing file or link.
    const HeldSignals held;
    const std::string name = UnderFreshName([&](const std::string& fresh) {
        descriptor_ = openat(folder_, fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        return descriptor_ >= 0;
    });
    if (name.empty()) {
        *why = std::string("cannot create a temporary file beside it: ") + std::strerror(errno);
        return false;
    }
    Record(name);
    return true;
}

// Gives the unnamed temporary file a name of its own beside the output,
// for the rename over it: a moment, with the signals held.
bool SafeOutput::Name(int descriptor, std::string* why)
{
    const std::string proc = "/proc/self/fd/" + std::to_string(descriptor);
    const std::string name = UnderFreshName([&](const std::string& fresh) {
        return linkat(descriptor, "", folder_, fresh.c_str(), AT_EMPTY_PATH) == 0 ||
               (errno != EEXIST && linkat(AT_FDCWD, proc.c_str(), folder_, fresh.c_str(), AT_SYMLINK_FOLLOW) == 0);
    });
    if (name.empty()) {
        *why = std::string("cannot name the temporary file beside it: ") + std::strerror(errno);
        return false;
    }
    Record(name);
    return true;
}

// The temporary file's name, for Commit, Discard and the signal handler.
void SafeOutput::Record(const std::string& name)
{
    temporary_ = name;
    std::strcpy(gTemporaryName, name.c_str());
    gTemporaryFolder = folder_;
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
    // The access list after the mode bits: it sets the bits it names, the
    // group's as its mask, as they were.
    bool ok = fchmod(descriptor, mode) == 0 &&
              (access_.empty() || fsetxattr(descriptor, kAccessList, access_.data(), access_.size(), 0) == 0) &&
              fsync(descriptor) == 0;
    int error = ok ? 0 : errno;
    const HeldSignals held;
    const bool named = ok && (!temporary_.empty() || Name(descriptor, why));
    if (close(descriptor) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        *why = Reason(error);
        return false;
    }
    if (!named)
        return false;
    if (renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
        *why = Reason(errno);
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
    const HeldSignals held;
    if (!temporary_.empty())
        unlinkat(folder_, temporary_.c_str(), 0);
    gTemporaryFolder = -1;
    temporary_.clear();
}

