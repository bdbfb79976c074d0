#include "strength_rules.h"

int PackParts(unsigned timing, unsigned length, unsigned velocity)
{
    return static_cast<int>((timing & 0xFFu) * 10000u + (length & 0xFFu) * 100u +
                            (velocity & 0xFFu));
}

void UnpackStrengths(unsigned packed, short parts[3])
{
    parts[0] = static_cast<short>(packed / 10000u);
    parts[1] = static_cast<short>((packed % 10000u) / 100u);
    parts[2] = static_cast<short>(packed % 100u);
}

static const char kFileName[] = "\\grooble.ini";

bool IsLeadByte932(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool BuildSettingsPathFrom(const char* modulePath, unsigned moduleLength,
                           char* out, unsigned outSize, LeadBytePredicate isLeadByte)
{
    if (outSize == 0)
        return false;
    out[0] = '\0';
    // A length of 0 is a failed call; a length that reaches the buffer size
    // means the name was cut short (and, on older systems, not terminated).
    if (moduleLength == 0 || moduleLength >= kPathBufferSize)
        return false;

    unsigned slash = moduleLength;
    for (unsigned i = 0; i < moduleLength; ++i) {
        if (modulePath[i] == '\\')
            slash = i;
        else if (isLeadByte(static_cast<unsigned char>(modulePath[i])) && i + 1 < moduleLength)
            ++i;
    }
    if (slash == moduleLength)
        return false;

    const unsigned nameLength = sizeof(kFileName) - 1;
    if (slash + nameLength + 1 > outSize)
        return false;
    for (unsigned i = 0; i < slash; ++i)
        out[i] = modulePath[i];
    for (unsigned i = 0; i <= nameLength; ++i)
        out[slash + i] = kFileName[i];
    if (!IsAbsoluteSettingsPath(out)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool IsAbsoluteSettingsPath(const char* path)
{
    if (path[0] == '\\' && path[1] == '\\')
        return true;
    const char drive = static_cast<char>(path[0] | 0x20);
    return drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\';
}

bool ReadUnsignedText(const char* text, unsigned* value)
{
    *value = 0;
    while (*text == ' ')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    unsigned result = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (result > (0xFFFFFFFFu - digit) / 10u)
            return false;
        result = result * 10u + digit;
    }
    if (*text != '\0')
        return false;
    *value = result;
    return true;
}

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

int CompareFoldedBytes(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + ('a' - 'A'));
        if (x != y || x == '\0')
            return static_cast<int>(x) - static_cast<int>(y);
    }
}

void SortTexts(const char** texts, const char** scratch, unsigned count, TextOrder order)
{
    // Bottom-up merge sort: n log n comparisons at most, stable, and no
    // recursion.
    const char** from = texts;
    const char** to = scratch;
    for (unsigned width = 1; width < count; width *= 2) {
        for (unsigned left = 0; left < count; left += 2 * width) {
            const unsigned middle = width < count - left ? left + width : count;
            const unsigned right = 2 * width < count - left ? left + 2 * width : count;
            unsigned i = left;
            unsigned j = middle;
            unsigned k = left;
            while (i < middle && j < right)
                to[k++] = order(from[j], from[i]) < 0 ? from[j++] : from[i++];
            while (i < middle)
                to[k++] = from[i++];
            while (j < right)
                to[k++] = from[j++];
        }
        const char** swap = from;
        from = to;
        to = swap;
    }
    if (from != texts)
        for (unsigned i = 0; i < count; ++i)
            texts[i] = from[i];
}
