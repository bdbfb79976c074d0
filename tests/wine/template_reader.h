// Reads an extended dialog template as the resource holds it, and checks
// its header and items against what they must be.
#ifndef GROOBLE_TEST_TEMPLATE_READER_H
#define GROOBLE_TEST_TEMPLATE_READER_H

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

struct Item {
    int id;
    std::wstring className;
    std::wstring text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

inline bool operator==(const Item& a, const Item& b)
{
    return a.id == b.id && a.className == b.className && a.text == b.text && a.style == b.style &&
           a.exStyle == b.exStyle && a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy;
}

inline void PrintTo(const Item& item, std::ostream* out)
{
    *out << "id " << item.id << " style 0x" << std::hex << item.style << " ex 0x" << item.exStyle
         << std::dec << " at " << item.x << "," << item.y << " " << item.cx << "x" << item.cy
         << " class/text lengths " << item.className.size() << "/" << item.text.size();
}

struct TemplateReader {
    const BYTE* base = nullptr;
    const BYTE* p = nullptr;

    // The Japanese template id of module.
    bool Open(HMODULE module, int id)
    {
        HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                         MAKEINTRESOURCEA(id),
                                         MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        if (!resource)
            return false;
        base = p = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
        return base != nullptr;
    }

    WORD Word() { WORD w; std::memcpy(&w, p, 2); p += 2; return w; }
    DWORD Dword() { DWORD d; std::memcpy(&d, p, 4); p += 4; return d; }
    short Short() { return static_cast<short>(Word()); }
    // A string or an ordinal; ordinals of the predefined classes come back
    // as their class names, other ordinals as "#n".
    std::wstring SzOrOrd()
    {
        const WORD first = Word();
        if (first == 0xFFFF) {
            const WORD ordinal = Word();
            static const wchar_t* const names[] = {L"BUTTON", L"EDIT", L"STATIC",
                                                   L"LISTBOX", L"SCROLLBAR", L"COMBOBOX"};
            if (ordinal >= 0x80 && ordinal <= 0x85)
                return names[ordinal - 0x80];
            return L"#" + std::to_wstring(ordinal);
        }
        std::wstring text;
        for (WORD c = first; c != 0; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { p = base + ((p - base + 3) & ~3); }

    // Checks the header of an extended template with no menu, the standard
    // class and the 9-point ＭＳ Ｐゴシック font; returns the item count.
    WORD Header(DWORD style, short cx, short cy, const std::wstring& caption)
    {
        EXPECT_EQ(Word(), 1);       // extended template, version 1
        EXPECT_EQ(Word(), 0xFFFF);  // its signature
        EXPECT_EQ(Dword(), 0u);     // help id
        EXPECT_EQ(Dword(), 0u);     // extended style
        EXPECT_EQ(Dword(), style);
        const WORD count = Word();
        EXPECT_EQ(Short(), 0);
        EXPECT_EQ(Short(), 0);
        EXPECT_EQ(Short(), cx);
        EXPECT_EQ(Short(), cy);
        EXPECT_EQ(SzOrOrd(), L"");  // no menu
        EXPECT_EQ(SzOrOrd(), L"");  // the standard dialog class
        EXPECT_TRUE(SzOrOrd() == caption) << "caption";
        EXPECT_EQ(Word(), 9);  // points
        EXPECT_EQ(Word(), 0);  // weight
        EXPECT_EQ(*p++, 0);    // not italic
        EXPECT_EQ(*p++, 1);    // DEFAULT_CHARSET
        EXPECT_TRUE(SzOrOrd() == L"ＭＳ Ｐゴシック") << "font";
        return count;
    }

    void ExpectItem(const Item& want)
    {
        AlignDword();
        Item got;
        Dword();  // help id
        got.exStyle = Dword();
        got.style = Dword();
        got.x = Short();
        got.y = Short();
        got.cx = Short();
        got.cy = Short();
        got.id = static_cast<int>(Dword());
        got.className = SzOrOrd();
        // Window class names are compared without regard to case.
        if (_wcsicmp(got.className.c_str(), want.className.c_str()) == 0)
            got.className = want.className;
        got.text = SzOrOrd();
        p += Word();  // creation data
        EXPECT_EQ(got, want);
        EXPECT_TRUE(got.className == want.className) << "class of control " << want.id;
        EXPECT_TRUE(got.text == want.text) << "text of control " << want.id;
    }
};

#endif
