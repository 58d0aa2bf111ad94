#pragma once
// The serial library of the system the program is built for: QSerialPort, on Linux and on
// Windows, where it was exact in every case of the download matrix under Wine. A build with
// REGISTRADOR_SERIAL_WIN32 (CMake option of that name) drives the line on Windows with plain
// Win32 calls instead; scripts/windows.sh checks both against the emulator.
#include <QtGlobal>

#if defined(Q_OS_WIN) && defined(REGISTRADOR_SERIAL_WIN32)
#include "link/win32seriallibrary.h"
namespace lnk {
using SystemSerialLibrary = Win32SerialLibrary;
}
#else
#include "link/qtseriallibrary.h"
namespace lnk {
using SystemSerialLibrary = QtSerialLibrary;
}
#endif
