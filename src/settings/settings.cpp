#include "settings.h"

#include "../../res/resource.h"
#include "number_text.h"
#include "packed_strengths.h"

char gSettingsPath[kPathBufferSize];
unsigned char gSavePosition;

bool IsHostLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}

void BuildSettingsPath()
{
    // A null module handle names the host executable, not this library:
    // the settings follow the host, so two hosts keep separate settings.
    char module[kPathBufferSize];
    const DWORD length = GetModuleFileNameA(NULL, module, kPathBufferSize);
    BuildSettingsPathFrom(module, length, gSettingsPath, kPathBufferSize, IsHostLeadByte);
}

unsigned ReadSettingInt(const char* section, const char* key)
{
    if (!IsAbsoluteSettingsPath(gSettingsPath))
        return 0;
    return GetPrivateProfileIntA(section, key, 0, gSettingsPath);
}

bool WriteSettingText(const char* section, const char* key, const char* value)
{
    if (!IsAbsoluteSettingsPath(gSettingsPath))
        return false;
    return WritePrivateProfileStringA(section, key, value, gSettingsPath) == 1;
}

bool WriteSettingInt(const char* section, const char* key, int value)
{
    char text[16];
    wsprintfA(text, "%d", value);
    return WriteSettingText(section, key, text);
}

unsigned ReadItemUnsigned(HWND dialog, int id, bool* ok)
{
    // Windows reads at most a few dozen characters here too; a longer text
    // in a box that only ever shows two digits is no number of ours.
    char text[64];
    unsigned value = 0;
    const HWND item = GetDlgItem(dialog, id);
    if (GetWindowTextLengthA(item) >= static_cast<int>(sizeof text)) {
        *ok = false;
        return 0;
    }
    GetWindowTextA(item, text, sizeof text);
    *ok = ReadUnsignedText(text, &value);
    return value;
}

int PackStrengths(HWND dialog)
{
    bool ok;
    const unsigned timing = ReadItemUnsigned(dialog, IDC_TIMING_EDIT, &ok);
    const unsigned length = ReadItemUnsigned(dialog, IDC_LENGTH_EDIT, &ok);
    const unsigned velocity = ReadItemUnsigned(dialog, IDC_VELOCITY_EDIT, &ok);
    return PackParts(timing, length, velocity);
}

void LoadStrengths(HWND const edits[3], const char* section, const char* key)
{
    short parts[3];
    UnpackStrengths(ReadSettingInt(section, key), parts);
    for (int i = 0; i < 3; ++i) {
        char text[8];
        wsprintfA(text, "%d", static_cast<int>(parts[i]));
        SetWindowTextA(edits[i], text);
    }
}

void SaveWindowPosition(HWND dialog)
{
    RECT rect;
    GetWindowRect(dialog, &rect);
    WriteSettingInt("Main", "Left", rect.left);
    WriteSettingInt("Main", "Top", rect.top);
}

bool WritePackedStrengths(HWND dialog, const char* section, const char* key)
{
    return WriteSettingInt(section, key, PackStrengths(dialog));
}

void ReadSavePositionFlag()
{
    gSavePosition = static_cast<unsigned char>(ReadSettingInt("Main", "IsSaveDlgPos"));
}

void WriteSavePositionFlag()
{
    // Written after every run, OK or Cancel. If the dialog never reached its
    // set-up there may be no settings path yet; the write then does nothing.
    WriteSettingInt("Main", "IsSaveDlgPos", static_cast<signed char>(gSavePosition));
}
