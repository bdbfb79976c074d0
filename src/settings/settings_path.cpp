#include "settings_path.h"

static const char kFileName[] = "\\grooble.ini";

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
