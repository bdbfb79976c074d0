// Any bytes as the preset section GetPrivateProfileSectionA hands back:
// the names listed never overrun their buffer, and the name rule never
// reads past a name's end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../src/settings/code_page.h"
#include "../../src/settings/name_sort.h"
#include "../../src/settings/preset_section.h"

namespace {

void CheckName(const char* name, void* names)
{
    const size_t length = std::strlen(name);
    if (length > kPresetNameMax)
        std::abort();
    IsStorablePresetName(name, IsLeadByte932);
    static_cast<std::vector<const char*>*>(names)->push_back(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Laid out as the call lays a section out: the last entry ended by a
    // NUL and the list by a second one, the length counting the first.
    std::vector<char> section(data, data + size);
    section.push_back('\0');
    section.push_back('\0');
    const unsigned length = static_cast<unsigned>(size + 1);
    const unsigned capacity = CountSectionEntries(section.data(), length);
    std::vector<const char*> names;
    ListPresetNames(section.data(), length, CheckName, &names);
    if (names.size() > capacity)
        std::abort();
    std::vector<const char*> scratch(names.size());
    SortTexts(names.data(), scratch.data(), static_cast<unsigned>(names.size()), CompareFoldedBytes);
    for (size_t i = 1; i < names.size(); ++i)
        if (CompareFoldedBytes(names[i - 1], names[i]) > 0)
            std::abort();

    std::vector<char> name(data, data + size);
    name.push_back('\0');
    IsStorablePresetName(name.data(), IsLeadByte932);
    return 0;
}
