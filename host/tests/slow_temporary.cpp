// A disk slow to make groobler's temporary file: the openat that creates it
// returns 400 ms late, inside the moment when a signal is held until the
// file's name is known. Loaded with LD_PRELOAD by groobler's test.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>

extern "C" int openat(int folder, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    using Real = int (*)(int, const char*, int, ...);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "openat"));
    const int opened = real(folder, path, flags, mode);
    if (opened >= 0 && (flags & O_CREAT) && std::strncmp(path, ".groobler-", 10) == 0)
        usleep(400 * 1000);
    return opened;
}
