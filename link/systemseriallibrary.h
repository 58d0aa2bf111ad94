#pragma once
// The serial library of the system the program is built for: plain Win32 calls on Windows
// (QSerialPort's overlapped reads were seen to hand over an answer one exchange late there),
// QSerialPort elsewhere. REGISTRADOR_SERIAL_QT builds Windows on QSerialPort, for comparison.
#include <QtGlobal>

#if defined(Q_OS_WIN) && !defined(REGISTRADOR_SERIAL_QT)
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
