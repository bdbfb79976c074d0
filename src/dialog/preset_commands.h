// The preset box's commands: load the picked preset, save the strengths
// under the typed name, delete the picked preset. Every warning and
// question is a message box centred over the strength dialog.
#ifndef GROOBLE_PRESET_COMMANDS_H
#define GROOBLE_PRESET_COMMANDS_H

#include <windows.h>

void LoadPickedPreset(HWND presetBox, HWND const edits[3]);
void SavePreset(HWND dialog, HWND presetBox);
void DeletePreset(HWND dialog, HWND presetBox);

#endif
