// The preset box's list, filled from section "Preset" of the settings file.
#ifndef GROOBLE_PRESET_LIST_H
#define GROOBLE_PRESET_LIST_H

#include <windows.h>

// Lists the names of the presets stored in section "Preset" in the preset
// box, which sorts them.
void FillPresetList(HWND presetBox);

#endif
