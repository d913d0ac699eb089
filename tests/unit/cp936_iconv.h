// The unit tests' name for the tests' one conversion (support/text_encoding.h), where the stand-in
// for the platform's code page 936 conversion, IconvCp936ToUtf16, lives.
#pragma once

#include "support/text_encoding.h"
