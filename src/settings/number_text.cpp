#include "number_text.h"

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
