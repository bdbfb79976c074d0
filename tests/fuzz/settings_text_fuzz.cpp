// Any bytes as the host's module path, as an edit box's text and as a
// stored packed value: the settings path never overruns its buffer and is
// either empty or absolute, and the number reader never reads past the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "../../src/settings/code_page.h"
#include "../../src/settings/number_text.h"
#include "../../src/settings/packed_strengths.h"
#include "../../src/settings/settings_path.h"

namespace {

bool NoLeadBytes(unsigned char)
{
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned outSize = data[0] % (kPathBufferSize + 8);
    const char* module = reinterpret_cast<const char*>(data + 1);
    const unsigned moduleLength = static_cast<unsigned>(size - 1);
    for (LeadBytePredicate isLeadByte : {IsLeadByte932, NoLeadBytes}) {
        // Exactly outSize bytes, so that AddressSanitizer sees any write
        // past them.
        std::vector<char> out(outSize == 0 ? 1 : outSize);
        const bool ok = BuildSettingsPathFrom(module, moduleLength, out.data(), outSize, isLeadByte);
        if (outSize > 0) {
            const size_t length = strnlen(out.data(), outSize);
            if (length == outSize)
                std::abort();  // not terminated
            if (ok != (length > 0) || (ok && !IsAbsoluteSettingsPath(out.data())))
                std::abort();
        }
    }

    std::vector<char> text(data, data + size);
    text.push_back('\0');
    unsigned value = 1;
    if (!ReadUnsignedText(text.data(), &value) && value != 0)
        std::abort();

    unsigned packed = 0;
    std::memcpy(&packed, data, size < sizeof packed ? size : sizeof packed);
    short parts[3];
    UnpackStrengths(packed, parts);
    if (parts[1] < 0 || parts[1] > 99 || parts[2] < 0 || parts[2] > 99)
        std::abort();
    return 0;
}
