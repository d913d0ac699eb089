// The installer window's texts and class name in its resources (res/installer.rc, which includes this header).
// A macro, as the resource compiler takes only what its preprocessor expands: the resource file is
// read as UTF-8 and stores the title in UTF-16; C++ code that expands it gets its own execution
// character set's bytes, code page 936 in the program's targets.
#pragma once

#define TESSALY_WINDOW_TITLE "Tessaly在线安装程序"
#define TESSALY_WINDOW_CLASS "TESSALYINSTALLER"
