// State that lives as long as the module and belongs to its entry.
#ifndef GROOBLE_MODULE_H
#define GROOBLE_MODULE_H

#include <windows.h>

// The library's own instance: every resource and the module's own path.
extern HINSTANCE gInstance;

#endif
