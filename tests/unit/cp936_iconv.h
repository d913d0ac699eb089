// The unit tests' earlier name for the tests' one text conversion, support/text_encoding.h.
// The stand-in for the platform's code page 936 conversion, IconvCp936ToUtf16, lives there.
#pragma once

#include "support/text_encoding.h"
