// Load, use and unload the DLL many times, as a host that frees it after
// every call does: nothing may be left behind. Wine's GetGuiResources
// counts nothing, so the test counts for itself: it patches the loaded
// DLL's import table so that every GDI object, window and hook the DLL
// makes passes through a counter here, and proves each freed handle dead.
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <set>
#include <string>

#include "../../res/resource.h"
#include "harness.h"

namespace {

struct Made {
    std::set<HGDIOBJ> gdi;        // made by the DLL and not yet deleted
    std::set<HGDIOBJ> everGdi;    // every one it made this cycle
    std::set<HWND> windows;       // made with CreateWindowExA
    std::set<HHOOK> hooks;        // set and not yet removed
    int gdiMade = 0, gdiDeleted = 0, hooksSet = 0, dialogs = 0;
} gMade;

decltype(&CreateFontIndirectA) gCreateFontIndirectA;
decltype(&DeleteObject) gDeleteObject;
decltype(&CreateWindowExA) gCreateWindowExA;
decltype(&SetWindowsHookExA) gSetWindowsHookExA;
decltype(&UnhookWindowsHookEx) gUnhookWindowsHookEx;
decltype(&DialogBoxParamA) gDialogBoxParamA;
decltype(&CreateMappedBitmap) gCreateMappedBitmap;

void Note(HGDIOBJ object)
{
    if (object) {
        gMade.gdi.insert(object);
        gMade.everGdi.insert(object);
        ++gMade.gdiMade;
    }
}

HFONT WINAPI CountCreateFontIndirectA(const LOGFONTA* font)
{
    HFONT made = gCreateFontIndirectA(font);
    Note(made);
    return made;
}

HBITMAP WINAPI CountCreateMappedBitmap(HINSTANCE instance, INT_PTR id, UINT flags, LPCOLORMAP map, int count)
{
    HBITMAP made = gCreateMappedBitmap(instance, id, flags, map, count);
    Note(made);
    return made;
}

BOOL WINAPI CountDeleteObject(HGDIOBJ object)
{
    if (gMade.gdi.erase(object))
        ++gMade.gdiDeleted;
    return gDeleteObject(object);
}

HWND WINAPI CountCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR name, DWORD style, int x, int y,
                                 int w, int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    HWND made = gCreateWindowExA(exStyle, className, name, style, x, y, w, h, parent, menu, instance, param);
    if (made)
        gMade.windows.insert(made);
    return made;
}

HHOOK WINAPI CountSetWindowsHookExA(int id, HOOKPROC procedure, HINSTANCE module, DWORD thread)
{
    HHOOK hook = gSetWindowsHookExA(id, procedure, module, thread);
    if (hook) {
        gMade.hooks.insert(hook);
        ++gMade.hooksSet;
    }
    return hook;
}

BOOL WINAPI CountUnhookWindowsHookEx(HHOOK hook)
{
    gMade.hooks.erase(hook);
    return gUnhookWindowsHookEx(hook);
}

INT_PTR WINAPI CountDialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param)
{
    ++gMade.dialogs;
    return gDialogBoxParamA(instance, name, owner, procedure, param);
}

// Points the DLL's import of library!function at replacement; false when
// the DLL does not import it.
bool Patch(HMODULE module, const char* library, const char* function, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), library) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&addresses->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
            addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&addresses->u1.Function, sizeof(void*), protection, &protection);
            return true;
        }
    }
    return false;
}

template <typename F>
void Resolve(F*& original, const char* library, const char* function)
{
    original = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(library), function)));
}

BOOL CALLBACK FindDllWindow(HWND window, LPARAM found)
{
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 || std::strcmp(className, TOOLTIPS_CLASSA) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

class LifecycleTest : public DialogTest {};

TEST_F(LifecycleTest, TwoHundredLoadsCallsAndUnloadsLeaveNothingBehind)
{
    LoadLibraryA("comctl32.dll");
    Resolve(gCreateFontIndirectA, "gdi32.dll", "CreateFontIndirectA");
    Resolve(gDeleteObject, "gdi32.dll", "DeleteObject");
    Resolve(gCreateWindowExA, "user32.dll", "CreateWindowExA");
    Resolve(gSetWindowsHookExA, "user32.dll", "SetWindowsHookExA");
    Resolve(gUnhookWindowsHookEx, "user32.dll", "UnhookWindowsHookEx");
    Resolve(gDialogBoxParamA, "user32.dll", "DialogBoxParamA");
    Resolve(gCreateMappedBitmap, "comctl32.dll", "CreateMappedBitmap");
    // A copy of its own: in the self-test's single process the DLL beside
    // the program stays loaded by the other tests.
    const DllCopy dll("dll-lifecycle", false);
    ASSERT_TRUE(dll.copied);
    const std::string& path = dll.path;
    WriteIni("[Main]\r\nDefaultPreset=102030\r\n[Preset]\r\nKeep=10101\r\n");
    const std::string stored = ReadIni();

    int totalGdi = 0, totalHooks = 0, totalDialogs = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        SCOPED_TRACE(cycle);
        gMade = Made();
        HMODULE module = LoadGrooble(path).module;
        ASSERT_NE(module, nullptr);
        struct {
            const char* library;
            const char* function;
            void* replacement;
        } patches[] = {
            {"gdi32.dll", "CreateFontIndirectA", reinterpret_cast<void*>(CountCreateFontIndirectA)},
            {"gdi32.dll", "DeleteObject", reinterpret_cast<void*>(CountDeleteObject)},
            {"user32.dll", "CreateWindowExA", reinterpret_cast<void*>(CountCreateWindowExA)},
            {"user32.dll", "SetWindowsHookExA", reinterpret_cast<void*>(CountSetWindowsHookExA)},
            {"user32.dll", "UnhookWindowsHookEx", reinterpret_cast<void*>(CountUnhookWindowsHookEx)},
            {"user32.dll", "DialogBoxParamA", reinterpret_cast<void*>(CountDialogBoxParamA)},
            {"comctl32.dll", "CreateMappedBitmap", reinterpret_cast<void*>(CountCreateMappedBitmap)},
        };
        for (const auto& p : patches)
            ASSERT_TRUE(Patch(module, p.library, p.function, p.replacement)) << p.function;
        const GrooblerDialogFunction function = GrooblerDialogOf(module);
        ASSERT_NE(function, nullptr);

        const bool ok = cycle % 2 == 0;
        const int result = RunGrooblerDialog([&](HWND dialog) {
            if (cycle % 5 == 1) {
                // A warning box: Save with nothing typed.
                MessageBoxAnswer answer({IDOK});
                Click(dialog, IDC_SAVE_PRESET);
                EXPECT_EQ(answer.seen.size(), 1u);
            }
            if (cycle % 7 == 3) {
                // The About box, closed from its own loop.
                EXPECT_TRUE(WithAboutBox(dialog, [](HWND box) { Click(box, IDCANCEL); }));
            }
            Click(dialog, ok ? IDOK : IDCANCEL);
        }, function);
        EXPECT_EQ(result, ok ? 102030 : 0);

        EXPECT_TRUE(gMade.gdi.empty()) << gMade.gdi.size() << " GDI objects never deleted";
        for (HGDIOBJ object : gMade.everGdi)
            EXPECT_EQ(GetObjectType(object), 0u) << "a deleted object is still alive";
        EXPECT_TRUE(gMade.hooks.empty()) << "a hook left installed";
        for (HWND window : gMade.windows)
            EXPECT_FALSE(IsWindow(window)) << "a window of the DLL outlived its dialog";
        EXPECT_GE(gMade.gdiMade, 2) << "the button bitmaps were not counted: is the patch working?";
        totalGdi += gMade.gdiMade;
        totalHooks += gMade.hooksSet;
        totalDialogs += gMade.dialogs;

        ASSERT_TRUE(FreeLibrary(module));
        EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "the DLL stayed loaded";
        HWND left = NULL;
        EnumThreadWindows(GetCurrentThreadId(), FindDllWindow, reinterpret_cast<LPARAM>(&left));
        EXPECT_EQ(left, nullptr) << "a dialog or tooltip window is left";
        if (HasFailure())
            break;
    }
    // Every kind of thing was made along the way, and nothing was lost.
    EXPECT_GT(totalHooks, 0);
    EXPECT_GT(totalDialogs, 200);
    RecordProperty("gdi_objects_made_and_deleted", totalGdi);
    EXPECT_NE(ReadIni().find("Keep=10101"), std::string::npos) << "a stored preset was lost";
}

}  // namespace
