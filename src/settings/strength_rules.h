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

// Builds the settings file's path beside the host executable.
// modulePath holds moduleLength characters as the module-name call returned
// them. A name that filled the whole buffer may have been cut short, a name
// without a backslash is no absolute path, and a result that does not fit
// outSize bytes would be truncated: in each case out becomes the empty
// string and false is returned, so that no setting is written to a wrong
// file.
bool BuildSettingsPathFrom(const char* modulePath, unsigned moduleLength,
                           char* out, unsigned outSize);

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

// The preset name of an entry: everything before its last "=", or the whole
// entry when it has none. Copied into name (kPresetNameMax + 1 bytes);
// false, with name empty, when the name is longer than kPresetNameMax.
bool PresetNameOf(const char* entry, char* name);

#endif
