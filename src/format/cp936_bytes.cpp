// Code page 936 byte sequences.
#include "format/cp936_bytes.h"

namespace tessaly {

bool IsCp936Text(const char* text) {
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p == 0xFF) {
            return false;
        }
        if (IsCp936LeadByte(*p)) {
            if (!IsCp936TrailByte(p[1])) {
                return false;
            }
            ++p;
        }
    }
    return true;
}

}  // namespace tessaly
