#include "link/framecodec.h"

namespace lnk {

namespace {

int hexDigit(char c) { return hexDigitValue(static_cast<unsigned char>(c)); }

// The byte at 1-based positions p, p+1 (or the single digit at p when `single`), or -1.
int byteAt(const QByteArray& t, int p, bool single = false) {
    const int hi = hexDigit(t[p - 1]);
    if (single)
        return hi;
    const int lo = hexDigit(t[p]);
    return (hi < 0 || lo < 0) ? -1 : hi * 16 + lo;
}

const char kDigits[] = "0123456789ABCDEF";

} // namespace

quint8 LRC(const QByteArray& text) {
    const int len = static_cast<int>(text.size());
    if (len < 3 || text[0] != ':')
        return 0;
    unsigned sum = 0;
    for (int i = 2; i <= len; i += 2) {
        const int b = byteAt(text, i, i == len);
        if (b < 0)
            return 0;
        sum = (sum + static_cast<unsigned>(b)) & 0xFF;
    }
    return static_cast<quint8>((256 - sum) & 0xFF);
}

bool VerifyMessage(const QByteArray& text) {
    const int len = static_cast<int>(text.size());
    if (len < 7)
        return false;
    // Lenient on purpose: any one of the three framing marks is enough.
    const bool colon = text[0] == ':';
    const bool cr = text[len - 2] == '\r';
    const bool lf = text[len - 1] == '\n';
    if (!colon && !cr && !lf)
        return false;
    unsigned sum = 0;
    for (int p = 2; p <= len - 4; p += 2) {
        const int b = byteAt(text, p);
        if (b < 0)
            return false;
        sum = (sum + static_cast<unsigned>(b)) & 0xFF;
    }
    const int received = byteAt(text, len - 3);
    if (received < 0)
        return false;
    return static_cast<int>((256 - sum) & 0xFF) == received;
}

QByteArray hex2(int value) {
    QByteArray out(2, '0');
    out[0] = kDigits[(value >> 4) & 0xF];
    out[1] = kDigits[value & 0xF];
    return out;
}

QByteArray hex4(int value) { return hex2((value >> 8) & 0xFF) + hex2(value & 0xFF); }

std::optional<quint32> decodeField(const QByteArray& text, int pos, int k) {
    if (pos < 1 || k < 1 || pos - 1 + k > text.size())
        return std::nullopt;
    quint32 v = 0;
    for (int i = 0; i < k; ++i) {
        const int d = hexDigit(text[pos - 1 + i]);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<quint32>(d);
    }
    return v;
}

QByteArray buildRequest(int function, std::initializer_list<int> words) {
    QByteArray frame = ":" + hex2(function);
    for (int w : words)
        frame += hex4(w);
    frame += hex2(LRC(frame));
    frame += "\r\n";
    return frame;
}

} // namespace lnk
