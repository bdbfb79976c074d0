// Pure rules of the settings file: the packed-strengths encoding and where
// the file lies. No windows.h, no C runtime: these compile into the DLL as
// they are, and natively for unit tests under the sanitizers.
#ifndef GROOBLE_STRENGTH_RULES_H
#define GROOBLE_STRENGTH_RULES_H

// Room for any path Windows hands to the ANSI calls, terminator included.
const unsigned kPathBufferSize = 260;

// timing * 10000 + length * 100 + velocity, each part through its low
// 8 bits only, as the edit boxes are read. Parts above 99 are possible here
// (the result then exceeds 999999); the edit-box check keeps them 0..99.
int PackParts(unsigned timing, unsigned length, unsigned velocity);

// Splits a stored value, read as an unsigned number, into its three decimal
// fields. Each field is handed on as a signed 16-bit number, which is how it
// is formatted into its edit box: a timing field above 32767 shows through
// its low 16 bits and may come out negative.
void UnpackStrengths(unsigned packed, short parts[3]);

// Whether a byte starts a two-byte character in the ANSI code page the
// texts are in. The DLL asks Windows (the host's code page); tests give
// code page 932's rule.
typedef bool (*LeadBytePredicate)(unsigned char byte);

// Code page 932's lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool IsLeadByte932(unsigned char byte);

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

// Reads an unsigned decimal number from a control's text as Windows'
// dialog-item reading does: leading blanks are skipped, then at least one
// decimal digit and nothing else must follow; a value above 4294967295 is
// a failure. A failure yields false and *value = 0.
bool ReadUnsignedText(const char* text, unsigned* value);

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

// An ordering of texts: negative, zero or positive as a sorts before, with
// or after b.
typedef int (*TextOrder)(const char* a, const char* b);

// Sorts count texts by order, keeping texts that order as equal in their
// given order. scratch has room for count pointers.
void SortTexts(const char** texts, const char** scratch, unsigned count, TextOrder order);

// Byte by byte with the ASCII letters folded to lower case: quick, and for
// plain names the same order as the list box's own, which is checked
// before it is relied on.
int CompareFoldedBytes(const char* a, const char* b);

#endif
