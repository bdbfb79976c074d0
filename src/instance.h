// The library's instance handle, which every subsystem needs for its
// resources. The entry stores it at load; this header sits below all the
// subsystems, so that none of them reaches up into the entry for it.
#ifndef GROOBLE_INSTANCE_H
#define GROOBLE_INSTANCE_H

#include <windows.h>

// The library's own instance: every resource and the module's own path.
extern HINSTANCE gInstance;

#endif
