// A disk that fails at the last step: every fsync returns EIO, as a
// failing device does. Loaded with LD_PRELOAD by groobler's test.
#include <cerrno>

extern "C" int fsync(int)
{
    errno = EIO;
    return -1;
}
