// Code page 936, the ANSI code page the installer reads its file index in on a Simplified Chinese
// Windows. Staged names are UTF-8 on disk and must be converted; names read back from an index are
// converted the other way for messages.
#pragma once

#include <cstddef>
#include <string>

#include "format/cp936_bytes.h"

namespace tessaly::pack {

// Converts UTF-8 to code page 936. False when `utf8` is not valid UTF-8 or holds a character that
// the code page cannot hold.
bool Utf8ToCp936(const std::string& utf8, std::string& cp936);

// Converts code page 936 to UTF-8. False when the bytes are not valid code page 936.
bool Cp936ToUtf8(const std::string& cp936, std::string& utf8);

// The text as a message should show it: converted to UTF-8 when it is valid code page 936,
// otherwise with every byte above 127 written as \xNN.
std::string Cp936ForDisplay(const std::string& cp936);

// The same, in double quotes, as messages quote a name.
std::string Quoted(const std::string& cp936);

// Offset of the first double-byte character whose second byte equals `trail` (such as "|" or a
// backslash, which byte-wise code takes for a separator), or npos when there is none.
std::size_t FindTrailByte(const std::string& cp936, char trail);

// The number of characters, which is also the number of UTF-16 units the text converts to (code
// page 936 holds only characters of the Basic Multilingual Plane).
std::size_t Cp936CharacterCount(const std::string& cp936);

}  // namespace tessaly::pack
