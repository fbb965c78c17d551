#include "imaging/DecodeTextEscapes.h"

int DecodeTextEscapes(const char16_t* source, char16_t* destination)
{
    if (!destination)
        return 0;
    if (!source) {
        destination[0] = 0;
        return 0;
    }
    char16_t* out = destination;
    for (const char16_t* p = source; *p; ++p) {
        if (*p != u'\\') {
            *out++ = *p;
            continue;
        }
        const char16_t next = p[1];
        if (!next)
            break;
        *out++ = next == u'n' ? u'\n' : next == u'r' ? u'\r' : next == u'\\' ? u'\\' : u' ';
        ++p;
    }
    *out = 0;
    return 0;
}
