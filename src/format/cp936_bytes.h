// Which byte sequences are code page 936 text, the code page the index's names are written in. The
// installer refuses a name that is not; the publisher's tool judges names by the same rule.
#pragma once

namespace tessaly {

// True when `byte` begins a double-byte character.
inline bool IsCp936LeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// True when `byte` may follow a lead byte.
inline bool IsCp936TrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

// True when `text` (NUL-terminated) is a sequence of code page 936 characters: single bytes up to
// 0x80, or a lead byte followed by a trail byte.
bool IsCp936Text(const char* text);

}  // namespace tessaly
