// The preset section as the private-profile calls hand it over, and the
// names the file can store. Pure: no windows.h, no C runtime.
#ifndef GROOBLE_PRESET_SECTION_H
#define GROOBLE_PRESET_SECTION_H

#include "code_page.h"

// The longest preset name the dialog handles, without its terminator.
const unsigned kPresetNameMax = 259;

// Turns a section as GetPrivateProfileSectionA returned it (entries each
// ended by a NUL, the list by a second NUL; sectionLength characters
// without the final NUL) into one string with the entries separated by the
// vertical tab 0x0B.
void JoinSectionEntries(char* section, unsigned sectionLength);

// strtok over that string with the delimiter 0x0B: skips leading and
// repeated delimiters, never yields an empty token, and ends each token in
// place. *cursor starts at the string and moves on; null when none is left.
char* NextSectionEntry(char** cursor);

// Whether a settings file can store a preset under name and give it back
// under the same name: not empty, at most kPresetNameMax bytes, no "=" (the
// file splits key from value at the first one), no control characters
// (0x0B separates the listed entries), not starting with ";" or "[" (a
// comment or a section header), and no leading or trailing blank (space,
// tab or the ideographic space, which the file's reader trims).
bool IsStorablePresetName(const char* name, LeadBytePredicate isLeadByte);

// Hands each preset name of a section, as GetPrivateProfileSectionA
// returned it (sectionLength characters without the final NUL), to emit in
// file order. The entries are joined and split as above; each name is
// everything before its entry's last "=" (the whole entry when it has
// none), cut off in place, so that every name handed on points into the
// section and stays valid as long as it does. An entry whose name is
// longer than kPresetNameMax is left out.
void ListPresetNames(char* section, unsigned sectionLength,
                     void (*emit)(const char* name, void* context), void* context);

// How many names ListPresetNames can hand on at most for a section of
// sectionLength characters: the count of its NULs and vertical tabs, since
// each name is ended by one of them.
unsigned CountSectionEntries(const char* section, unsigned sectionLength);

#endif
