// The settings file grooble.ini beside the host executable, and the
// strength operations that read and write it for the strength dialog.
#ifndef GROOBLE_SETTINGS_H
#define GROOBLE_SETTINGS_H

#include <windows.h>

#include "settings_path.h"

extern char gSettingsPath[kPathBufferSize];

// Remember-position flag: the low byte of Main/IsSaveDlgPos, read at the
// dialog's set-up, flipped from its system menu, written back after every
// run.
extern unsigned char gSavePosition;
void ReadSavePositionFlag();
void WriteSavePositionFlag();

// Rebuilds gSettingsPath from the host executable's path. When the path
// cannot be built whole it stays empty, and then every read below gives its
// default and every write is skipped.
void BuildSettingsPath();

// GetPrivateProfileIntA with default 0, as the unsigned number the callers
// take it for.
unsigned ReadSettingInt(const char* section, const char* key);

// Writes value (a null value deletes the key). Nothing is written unless
// the settings path is an absolute one. True when the file reported
// success.
bool WriteSettingText(const char* section, const char* key, const char* value);

// Writes "%d" of value, as WriteSettingText.
bool WriteSettingInt(const char* section, const char* key, int value);

// The host's ANSI code page's lead-byte test, for the pure text rules.
bool IsHostLeadByte(unsigned char byte);

// Reads a dialog item's text as an unsigned number by the Windows rule
// (see ReadUnsignedText). Wine's own GetDlgItemInt takes "-5" and "12abc"
// for numbers, so the rule is applied here rather than left to the system.
unsigned ReadItemUnsigned(HWND dialog, int id, bool* ok);

// The three edit boxes packed: timing * 10000 + length * 100 + velocity.
int PackStrengths(HWND dialog);

// Shows a stored packed value in the three edit boxes, timing first. Each
// write raises the box's change notification, which checks the value and
// moves the slider.
void LoadStrengths(HWND const edits[3], const char* section, const char* key);

// Stores the dialog's screen position as Main/Left, then Main/Top.
void SaveWindowPosition(HWND dialog);

// Stores "%d" of PackStrengths under section/key; true when the file
// reported success.
bool WritePackedStrengths(HWND dialog, const char* section, const char* key);

#endif
