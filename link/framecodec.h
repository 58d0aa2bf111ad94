#pragma once
// The text side of the logger protocol: ":" + function code + data in hexadecimal digits +
// LRC + CR LF, no station address. Pure functions; nothing here does input or output.
#include <QByteArray>
#include <initializer_list>
#include <optional>

namespace lnk {

/// Value of one hexadecimal digit (either case), or -1.
constexpr int hexDigitValue(char16_t c) {
    return (c >= '0' && c <= '9') ? c - '0'
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                    : -1;
}

/// Check value of a frame under construction (":" + digits, no LRC, no CR LF); 0 for a bad text.
quint8 LRC(const QByteArray& text);
/// Whether a received text (CR LF included) passes the frame check.
bool VerifyMessage(const QByteArray& text);

QByteArray hex2(int value); ///< 0 … 255 as two upper-case digits
QByteArray hex4(int value); ///< 0 … 65535 as four upper-case digits

/// The k characters from 1-based position `pos` read as one hexadecimal number (either case);
/// nothing when the text is too short or any character is not a hexadecimal digit.
std::optional<quint32> decodeField(const QByteArray& text, int pos, int k);

/// ":" + function code + each argument as four digits + LRC + CR LF.
QByteArray buildRequest(int function, std::initializer_list<int> words);

} // namespace lnk
