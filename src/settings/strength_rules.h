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

#endif
