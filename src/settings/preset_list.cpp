// Listing the stored presets in the preset box at set-up: one read of the
// whole section, then the fast fill.
#include "preset_list.h"

#include "name_sort.h"
#include "preset_section.h"
#include "settings.h"

// The names of the preset section, in file order, and their total size.
struct PresetNames {
    const char** names;
    unsigned count;
    unsigned capacity;
    unsigned bytes;
};

static void CollectName(const char* name, void* context)
{
    PresetNames* list = static_cast<PresetNames*>(context);
    if (list->count < list->capacity) {
        list->names[list->count++] = name;
        list->bytes += static_cast<unsigned>(lstrlenA(name)) + 1;
    }
}

static void AddPresetName(const char* name, void* presetBox)
{
    SendMessageA(static_cast<HWND>(presetBox), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

// Whether every name sorts strictly before the next one as the list box
// itself compares them: case-insensitively, in its own locale, on the
// names as they become Unicode in the host's code page.
static bool InListOrder(HWND presetBox, const char* const* names, unsigned count)
{
    const LCID locale = static_cast<LCID>(SendMessageA(presetBox, CB_GETLOCALE, 0, 0));
    WCHAR previous[kPresetNameMax + 1];
    WCHAR current[kPresetNameMax + 1];
    for (unsigned i = 1; i < count; ++i) {
        if (MultiByteToWideChar(CP_ACP, 0, names[i - 1], -1, previous, kPresetNameMax + 1) == 0 ||
            MultiByteToWideChar(CP_ACP, 0, names[i], -1, current, kPresetNameMax + 1) == 0)
            return false;
        if (CompareStringW(locale, NORM_IGNORECASE, previous, -1, current, -1) != CSTR_LESS_THAN)
            return false;
    }
    return true;
}

// Fills the sorted preset box with the names: the fast fill. A plain loop
// of CB_ADDSTRING would give the same list, but a sorted list box inserts
// each added name with a binary search of locale-aware comparisons, about
// 300,000 of them for 20,000 names, and that alone dominated opening the
// dialog with thousands of presets. So the names are sorted here by a
// quick byte order first; when the list box's own comparison agrees that
// the result is strictly ascending, it is appended as it stands, which
// gives the very list adding would have given. Names it orders otherwise
// (or as equal) are added one by one in file order, so that the list box
// sorts them itself and the list shown never differs.
static void ShowPresetNames(HWND presetBox, PresetNames& list, const char** sorted,
                            const char** scratch)
{
    for (unsigned i = 0; i < list.count; ++i)
        sorted[i] = list.names[i];
    SortTexts(sorted, scratch, list.count, CompareFoldedBytes);

    // The drop-down list redraws and resets its scroll bar after every
    // insertion unless told to wait.
    COMBOBOXINFO info;
    info.cbSize = sizeof info;
    const HWND dropDown = GetComboBoxInfo(presetBox, &info) ? info.hwndList : NULL;
    if (dropDown != NULL)
        SendMessageA(dropDown, WM_SETREDRAW, FALSE, 0);
    SendMessageA(presetBox, CB_INITSTORAGE, list.count, list.bytes);
    if (InListOrder(presetBox, sorted, list.count)) {
        for (unsigned i = 0; i < list.count; ++i)
            SendMessageA(presetBox, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(sorted[i]));
    } else {
        for (unsigned i = 0; i < list.count; ++i)
            AddPresetName(list.names[i], presetBox);
    }
    if (dropDown != NULL)
        SendMessageA(dropDown, WM_SETREDRAW, TRUE, 0);
}

// A first guess at the buffer the preset section needs: the file's size,
// which the section cannot exceed by more than its final NULs.
static DWORD SectionBufferGuess()
{
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!GetFileAttributesExA(gSettingsPath, GetFileExInfoStandard, &file) ||
        file.nFileSizeHigh != 0 || file.nFileSizeLow > 0x10000000)
        return 512;
    return file.nFileSizeLow < 512 - 16 ? 512 : file.nFileSizeLow + 16;
}

void FillPresetList(HWND presetBox)
{
    SendMessageA(presetBox, CB_RESETCONTENT, 0, 0);
    if (!IsAbsoluteSettingsPath(gSettingsPath))
        return;

    // The whole section at once, in a buffer grown until it fits: the call
    // answers exactly size - 2 when the buffer was too small. Starting from
    // the file's size it fits at once; doubling keeps it linear otherwise.
    DWORD size = SectionBufferGuess();
    DWORD length;
    char* section;
    for (;;) {
        section = static_cast<char*>(GlobalAlloc(GMEM_FIXED, size));
        if (section == NULL)
            return;
        length = GetPrivateProfileSectionA("Preset", section, size, gSettingsPath);
        if (length != size - 2)
            break;
        GlobalFree(section);
        if (size > 0x40000000)
            return;
        size *= 2;
    }

    // Room for the names in file order, sorted, and the sort's scratch.
    // Without it (or for an absurd count) the list box sorts them itself.
    PresetNames list = {NULL, 0, CountSectionEntries(section, length), 0};
    const char** names = list.capacity == 0 || list.capacity > 0x1000000 ? NULL
        : static_cast<const char**>(GlobalAlloc(GMEM_FIXED, 3 * list.capacity * sizeof(char*)));
    if (names != NULL) {
        list.names = names;
        ListPresetNames(section, length, CollectName, &list);
        ShowPresetNames(presetBox, list, names + list.capacity, names + 2 * list.capacity);
        GlobalFree(names);
    } else {
        ListPresetNames(section, length, AddPresetName, presetBox);
    }
    GlobalFree(section);
}
