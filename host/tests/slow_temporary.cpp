// A disk slow to make groobler's temporary file: the openat that creates it
// returns 400 ms late, inside the moment a signal may come. With
// SLOW_TEMPORARY_NAMED set, it also refuses a file without a name, as some
// file systems do, so that the temporary gets one. Loaded with LD_PRELOAD by
// groobler's test.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

extern "C" int openat(int folder, const char* path, int flags, ...)
{
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    mode_t mode = 0;
    if ((flags & O_CREAT) || unnamed) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    if (unnamed && std::getenv("SLOW_TEMPORARY_NAMED")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    using Real = int (*)(int, const char*, int, ...);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "openat"));
    const int opened = real(folder, path, flags, mode);
    if (opened >= 0 && (unnamed || ((flags & O_CREAT) && std::strncmp(path, ".groobler-", 10) == 0)))
        usleep(400 * 1000);
    return opened;
}
