#include "preset_section.h"

static const char kEntryDelimiter = '\x0B';

void JoinSectionEntries(char* section, unsigned sectionLength)
{
    // Every NUL that ends an entry other than the last lies before
    // sectionLength - 2; the last entry's NUL ends the joined string.
    for (unsigned i = 0; i + 2 < sectionLength; ++i) {
        if (section[i] == '\0')
            section[i] = kEntryDelimiter;
    }
}

char* NextSectionEntry(char** cursor)
{
    char* p = *cursor;
    if (p == nullptr)
        return nullptr;
    while (*p == kEntryDelimiter)
        ++p;
    if (*p == '\0') {
        *cursor = nullptr;
        return nullptr;
    }
    char* token = p;
    while (*p != '\0' && *p != kEntryDelimiter)
        ++p;
    if (*p == kEntryDelimiter) {
        *p = '\0';
        *cursor = p + 1;
    } else {
        *cursor = nullptr;
    }
    return token;
}

static bool IsBlankAt(const char* text, unsigned i, LeadBytePredicate isLeadByte)
{
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte == ' ' || byte == '\t')
        return true;
    // The ideographic space of code page 932.
    return byte == 0x81 && isLeadByte(byte) && static_cast<unsigned char>(text[i + 1]) == 0x40;
}

bool IsStorablePresetName(const char* name, LeadBytePredicate isLeadByte)
{
    if (name[0] == '\0' || name[0] == ';' || name[0] == '[' || IsBlankAt(name, 0, isLeadByte))
        return false;
    unsigned last = 0;
    unsigned i = 0;
    while (name[i] != '\0') {
        if (i >= kPresetNameMax)
            return false;
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7F || byte == '=')
            return false;
        last = i;
        if (isLeadByte(byte) && name[i + 1] != '\0')
            i += 2;
        else
            ++i;
    }
    return i <= kPresetNameMax && !IsBlankAt(name, last, isLeadByte);
}

void ListPresetNames(char* section, unsigned sectionLength,
                     void (*emit)(const char* name, void* context), void* context)
{
    if (sectionLength == 0 || section[0] == '\0')
        return;
    JoinSectionEntries(section, sectionLength);
    char* cursor = section;
    for (char* entry = NextSectionEntry(&cursor); entry != nullptr;
         entry = NextSectionEntry(&cursor)) {
        unsigned length = 0;
        while (entry[length] != '\0')
            ++length;
        for (unsigned i = length; i > 0; --i) {
            if (entry[i - 1] == '=') {
                length = i - 1;
                entry[length] = '\0';
                break;
            }
        }
        // A hand-written name longer than any the dialog can type is left
        // out: it could be neither loaded nor deleted through the fixed
        // name buffer, and it stays in the file untouched.
        if (length <= kPresetNameMax)
            emit(entry, context);
    }
}

unsigned CountSectionEntries(const char* section, unsigned sectionLength)
{
    unsigned count = 0;
    for (unsigned i = 0; i < sectionLength; ++i)
        if (section[i] == '\0' || section[i] == kEntryDelimiter)
            ++count;
    return count;
}
