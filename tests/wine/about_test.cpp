// The About box, opened from the strength dialog's system menu of the real
// DLL: its template and resources, what it shows, how it closes, where it
// opens, its font's lifetime, and the Explorer it starts.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "harness.h"
#include "template_reader.h"

namespace {

class AboutTest : public DialogTest {};

const char kComments[] =
    "Cakewalk 5.0 以上にて、ノート イベントをいじり、MIDIデータに人間味を加えます。"
    "付属の grooble.cal から呼び出して使います。";

TEST_F(AboutTest, TemplateIconStringsAndVersionResource)
{
    HMODULE module = LoadGroobleBesideExe().module;
    TemplateReader r;
    ASSERT_TRUE(r.Open(module, IDD_ABOUT));
    const WORD count = r.Header(0x80C800C0, 227, 169, L"バージョン情報");
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const std::vector<Item> expected = {
        {-1, L"STATIC", L"#107", 0x50000003, 0, 7, 7, 20, 20},
        {IDC_ABOUT_DESCRIPTION, L"STATIC", L"", 0x50000080, 0, 35, 8, 185, 21},
        {IDCANCEL, L"BUTTON", L"OK", 0x50010001, 0, 173, 142, 47, 14},
        {IDC_ABOUT_COMMENTS, L"EDIT", L"", 0x50210804, WS_EX_CLIENTEDGE, 35, 38, 185, 30},
        {-1, L"STATIC", L"grooble.dll のパス:", 0x50020000, 0, 35, 78, 59, 8},
        {IDC_ABOUT_PATH, L"EDIT", L"", 0x50010880, WS_EX_CLIENTEDGE, 35, 87, 171, 12},
        {IDC_ABOUT_EXPLORER, L"BUTTON", L"...", 0x50010B00, WS_EX_STATICEDGE, 207, 87, 13, 12},
        {-1, L"STATIC", L"電子メール:", 0x50020000, 0, 35, 109, 42, 8},
        {IDC_ABOUT_EMAIL, L"EDIT", L"", 0x50010880, 0, 82, 109, 112, 12},
        {-1, L"STATIC", L"ホームページ:", 0x50020000, 0, 35, 121, 42, 8},
        {IDC_ABOUT_HOMEPAGE, L"EDIT", L"", 0x50010880, 0, 82, 121, 112, 12},
        {IDC_ABOUT_COPYRIGHT, L"STATIC", L"", 0x50000080, 0, 34, 145, 100, 8},
    };
    ASSERT_EQ(count, expected.size());
    for (const Item& want : expected) {
        EXPECT_EQ(want.style & child, child);
        r.ExpectItem(want);
    }

    // One 32 x 32 image of 16 colours.
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_ABOUT), MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    EXPECT_EQ(dir[4] | dir[5] << 8, 1) << "images";
    EXPECT_EQ(dir[6], 32);
    EXPECT_EQ(dir[7], 32);
    EXPECT_EQ(dir[8], 16) << "colours";

    wchar_t key[32];
    const struct {
        int id;
        const wchar_t* key;
    } strings[] = {{IDS_FILE_DESCRIPTION, L"FileDescription"},
                   {IDS_LEGAL_COPYRIGHT, L"LegalCopyright"},
                   {IDS_COMMENTS, L"Comments"}};
    for (const auto& s : strings) {
        ASSERT_GT(LoadStringW(module, s.id, key, 32), 0);
        EXPECT_STREQ(key, s.key);
    }

    // The version resource: the fixed part, then the Japanese/Unicode
    // string table with its keys in their order, then the translation.
    HRSRC version = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    ASSERT_NE(version, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, version)));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data, L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x07D003A0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x07D003A0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x00040004u);
    EXPECT_EQ(fixed->dwFileType, 2u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data, L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(*translation, 0x04B00411u);
    // Walk the string table's entries in file order: each is a length, a
    // value length, a type, the key, padding to 4 bytes, the value.
    const wchar_t table[] = L"041104b0";
    const BYTE* end = data + (data[0] | data[1] << 8);
    const BYTE* at = data;
    while (at + 16 < end && std::wstring(reinterpret_cast<const wchar_t*>(at + 6)) != table)
        at += 2;
    ASSERT_LT(at + 16, end) << "no 041104b0 string table";
    const BYTE* tableEnd = at + (at[0] | at[1] << 8);
    at += 6 + sizeof table;
    at = data + ((at - data + 3) & ~3);
    std::vector<std::pair<std::wstring, std::wstring>> got;
    while (at < tableEnd) {
        const WORD entry = static_cast<WORD>(at[0] | at[1] << 8);
        const std::wstring name = reinterpret_cast<const wchar_t*>(at + 6);
        const BYTE* value = at + 6 + (name.size() + 1) * 2;
        value = data + ((value - data + 3) & ~3);
        got.push_back({name, reinterpret_cast<const wchar_t*>(value)});
        at = data + ((at - data + entry + 3) & ~3);
    }
    const std::vector<std::wstring> keys = {L"Comments", L"CompanyName", L"FileDescription",
        L"FileVersion", L"InternalName", L"LegalCopyright", L"OriginalFilename", L"ProductName",
        L"ProductVersion"};
    ASSERT_EQ(got.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(got[i].first == keys[i]) << "key " << i;
        EXPECT_FALSE(got[i].second.empty()) << "value " << i;
    }
    EXPECT_TRUE(got[2].second == L"Groobler Version 1.03");
    EXPECT_TRUE(got[3].second == L"1, 0, 2000, 928");
    EXPECT_TRUE(got[4].second == L"grooble");
    EXPECT_TRUE(got[6].second == L"grooble.dll");
    EXPECT_TRUE(got[7].second == L"Groobler Version 1.03");
    EXPECT_TRUE(got[8].second == L"1, 0, 2000, 928");
    FreeLibrary(module);
}

// Where the About box first showed, for the action that checks it.
RECT gAboutShownAt;

bool WithAbout(HWND dialog, const DialogAction& action)
{
    return WithAboutBox(dialog, action, &gAboutShownAt);
}

std::string Text(HWND box, int id)
{
    char text[1024] = "";
    GetDlgItemTextA(box, id, text, sizeof text);
    return text;
}

// A copy of the DLL in a folder whose name holds a comma, loaded from
// there: the box must show that file, not the test program's folder.
const char kFolderWithAComma[] = "dll, elsewhere";

TEST_F(AboutTest, ShowsTheVersionTextsAndTheLibrarysOwnPathCentredOverTheDialog)
{
    DllCopy dll(kFolderWithAComma);
    ASSERT_NE(dll.function, nullptr);
    RunGrooblerDialog([&](HWND dialog) {
        EXPECT_TRUE(WithAbout(dialog, [&](HWND box) {
            EXPECT_EQ(Text(box, IDC_ABOUT_DESCRIPTION), "Groobler Version 1.03");
            EXPECT_EQ(Text(box, IDC_ABOUT_COMMENTS), kComments);
            EXPECT_EQ(Text(box, IDC_ABOUT_COPYRIGHT), "(C) 2026 Groobler & co.");
            EXPECT_EQ(Text(box, IDC_ABOUT_PATH), dll.path);
            EXPECT_EQ(Text(box, IDC_ABOUT_EMAIL), "groobler@example.org");
            EXPECT_EQ(Text(box, IDC_ABOUT_HOMEPAGE), "https://groobler.example.org/");
            LOGFONTA title = {}, plain = {};
            GetObjectA(reinterpret_cast<HFONT>(
                           SendDlgItemMessageA(box, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0)),
                       sizeof title, &title);
            GetObjectA(reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)), sizeof plain,
                       &plain);
            EXPECT_EQ(title.lfWeight, FW_BOLD);
            EXPECT_EQ(title.lfHeight, 14);
            EXPECT_STREQ(title.lfFaceName, plain.lfFaceName);
            // Centred over the strength dialog's outer rectangle.
            RECT outer;
            GetWindowRect(dialog, &outer);
            const RECT& r = gAboutShownAt;
            EXPECT_EQ(r.left, (outer.left + outer.right) / 2 - (r.right - r.left) / 2);
            EXPECT_EQ(r.top, (outer.top + outer.bottom) / 2 - (r.bottom - r.top) / 2);
            Click(box, IDCANCEL);
        }));
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the strength dialog stays open";
        Click(dialog, IDCANCEL);
    }, dll.function);
}

TEST_F(AboutTest, EveryWayOutClosesItAndDeletesItsFont)
{
    const struct {
        const char* what;
        void (*close)(HWND);
    } ways[] = {
        {"OK button", [](HWND box) { Click(box, IDCANCEL); }},
        {"Enter", [](HWND box) { SetFocus(GetDlgItem(box, IDCANCEL)); PressKey(box, VK_RETURN); }},
        {"Esc", [](HWND box) { PressKey(box, VK_ESCAPE); }},
        {"close box", [](HWND box) { SendMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    RunGrooblerDialog([&](HWND dialog) {
        for (int round = 0; round < 50; ++round) {
            const auto& way = ways[round % 4];
            SCOPED_TRACE(way.what);
            HFONT font = NULL;
            EXPECT_TRUE(WithAbout(dialog, [&](HWND box) {
                font = reinterpret_cast<HFONT>(
                    SendDlgItemMessageA(box, IDC_ABOUT_DESCRIPTION, WM_GETFONT, 0, 0));
                EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
                way.close(box);
            })) << "round " << round;
            EXPECT_EQ(GetObjectType(font), 0u) << "the bold font outlived the box, round " << round;
            if (HasFailure())
                break;
        }
        Click(dialog, IDCANCEL);
    });
}

// The slot in a module's import table through which it calls function of
// library, or null where it imports no such function by name.
void** ImportSlot(HMODULE module, const char* library, const char* function)
{
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), library) != 0)
            continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot)
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                lstrcmpA(reinterpret_cast<char*>(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name),
                         function) == 0)
                return reinterpret_cast<void**>(&slot->u1.Function);
    }
    return nullptr;
}

std::string gAskedFile, gAskedParameters;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR, LPCSTR file, LPCSTR parameters, LPCSTR, INT)
{
    gAskedFile = file ? file : "";
    gAskedParameters = parameters ? parameters : "";
    return reinterpret_cast<HINSTANCE>(42);  // above 32: done
}

// With the stand-in Explorer.exe of the project's Wine set-up beside this
// program, the button is followed to the program it starts. Without it (a
// user's own Windows or Wine), the DLL's call to the system is watched
// instead, so that no real Explorer window opens.
TEST_F(AboutTest, TheButtonShowsTheLibraryInExplorerQuoted)
{
    DllCopy dll(kFolderWithAComma);
    ASSERT_NE(dll.function, nullptr);
    // The program's name as it was asked for, then exactly the parameters:
    // the path quoted, so that the comma in it does not end it.
    const std::string parameters = "/e, /select, \"" + dll.path + "\"";
    const bool standIn = UnderWine() && GetFileAttributesA((ExeDirectory() + "\\Explorer.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
    void** slot = standIn ? nullptr : ImportSlot(dll.module, "SHELL32.dll", "ShellExecuteA");
    if (!standIn && !slot)
        GTEST_SKIP() << "no stand-in Explorer.exe beside this program, and grooble.dll imports no ShellExecuteA "
                        "to watch: the button could only be checked by opening a real Explorer window";
    DWORD protection = 0;
    if (slot) {
        gAskedFile.clear();
        ASSERT_TRUE(VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection));
        *slot = reinterpret_cast<void*>(RecordShellExecute);
    }
    const std::string recorded = ExeDirectory() + "\\explorer-command-line.txt";
    DeleteFileA(recorded.c_str());
    RunGrooblerDialog([&](HWND dialog) {
        WithAbout(dialog, [&](HWND box) {
            Click(box, IDC_ABOUT_EXPLORER);
            EXPECT_TRUE(IsWindowVisible(box)) << "the box stays open";
            Click(box, IDCANCEL);
        });
        Click(dialog, IDCANCEL);
    }, dll.function);
    if (slot) {
        EXPECT_EQ(gAskedFile, "Explorer");
        EXPECT_EQ(gAskedParameters, parameters);
        return;
    }
    std::string line;
    for (int wait = 0; wait < 250 && line.empty(); ++wait) {
        if (FILE* file = std::fopen(recorded.c_str(), "rb")) {
            char buffer[1024] = "";
            line.assign(buffer, std::fread(buffer, 1, sizeof buffer - 1, file));
            std::fclose(file);
        } else {
            Sleep(20);
        }
    }
    ASSERT_FALSE(line.empty()) << "the stand-in Explorer never ran";
    ASSERT_GE(line.size(), parameters.size());
    EXPECT_EQ(line.substr(line.size() - parameters.size()), parameters) << line;
    DeleteFileA(recorded.c_str());
}

}  // namespace
