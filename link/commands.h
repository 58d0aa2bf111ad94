#pragma once
// The logger's four commands: their frames, how each caller exchanges them, and the checks
// the download applies to read responses beyond the frame check.
#include "link/serialchannel.h"

#include <QByteArray>

namespace lnk::cmd {

inline constexpr int kDiagnostics = 0x08;
inline constexpr int kReadRegisters = 0x03;
inline constexpr int kWriteRegister = 0x06;
inline constexpr int kClearMemory = 0x41;

/// Fixed frames, stored whole with their LRC.
inline const QByteArray kDiagnosticsFrame = QByteArrayLiteral(":08F8\r\n");
inline const QByteArray kClearFrame = QByteArrayLiteral(":41BF\r\n");
inline const QByteArray kHeaderRequest = QByteArrayLiteral(":0300000002FB\r\n");

// How each caller exchanges its frame: send style, wait after sending, receive limit.
// The download and the memory clear give a frame that is still arriving when the fixed wait
// ends up to kLateFrameMs more; the download asks up to kDownloadTries times in all.
inline constexpr int kLateFrameMs = 500;
inline constexpr int kDownloadTries = 3;
// After an answer was refused the one owed may still come: the line must stay quiet longer
// than a logger's answer can be late before anything else is sent (bounded, for a line that
// never falls quiet).
inline constexpr int kSettleQuietMs = 300;
inline constexpr int kSettleMaxMs = 1500;
// A logger that begins its answers after the fixed wait (100 ms or more after the request) is
// listened for up to this long before the try counts as failed.
inline constexpr int kSlowStartMs = 1000;
inline constexpr ExchangeSpec kDownloadProbe{SendStyle::Paced, 100, 255, kLateFrameMs, kSlowStartMs};
inline constexpr ExchangeSpec kDownloadHeader{SendStyle::Paced, 100, 255, kLateFrameMs, kSlowStartMs};
inline constexpr ExchangeSpec kDownloadBlock{SendStyle::Paced, 100, 255, kLateFrameMs, kSlowStartMs};
inline constexpr ExchangeSpec kMemoryClear{SendStyle::Whole, 100, 255, kLateFrameMs};
inline constexpr ExchangeSpec kServiceDiagnostics{SendStyle::Paced, 100, 0};
inline constexpr ExchangeSpec kServiceClear{SendStyle::Whole, 100, 0};
inline constexpr ExchangeSpec kServiceRead{SendStyle::Whole, 700, 0};
inline constexpr ExchangeSpec kServiceWrite{SendStyle::Whole, 100, 0};

QByteArray readRequest(int start, int count);
QByteArray writeRequest(int address, int value);

/// Length of a read response for `count` registers: 4 × count + 9.
constexpr int readResponseLength(int count) { return 4 * count + 9; }

/// The header response passes the frame check, has exactly 17 characters and starts ":0304".
bool headerResponseOk(const QByteArray& response);
/// A block response passes the frame check, starts ":03" with the byte count 2 × count and
/// holds exactly 4 × count + 9 characters: two frames glued together are not one answer.
bool blockResponseOk(const QByteArray& response, int count);

} // namespace lnk::cmd
