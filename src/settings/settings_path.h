// Where the settings file lies: beside the host executable. Pure: no
// windows.h, no C runtime.
#ifndef GROOBLE_SETTINGS_PATH_H
#define GROOBLE_SETTINGS_PATH_H

#include "code_page.h"

// Room for any path Windows hands to the ANSI calls, terminator included.
const unsigned kPathBufferSize = 260;

// Builds the settings file's path beside the host executable.
// modulePath holds moduleLength characters as the module-name call returned
// them. The last backslash is found character by character, so that the
// second byte of a two-byte character (0x5C in ソ and 表) is never taken
// for one. A name that filled the whole buffer may have been cut short, a
// name without a backslash is no absolute path, and a result that does not
// fit outSize bytes would be truncated: in each case out becomes the empty
// string and false is returned, so that no setting is written to a wrong
// file.
bool BuildSettingsPathFrom(const char* modulePath, unsigned moduleLength,
                           char* out, unsigned outSize, LeadBytePredicate isLeadByte);

// Whether a settings path may be written to: a drive path ("C:\...") or a
// UNC path ("\\server\..."). An empty or relative path would make the
// private-profile calls fall back to the Windows folder.
bool IsAbsoluteSettingsPath(const char* path);

#endif
