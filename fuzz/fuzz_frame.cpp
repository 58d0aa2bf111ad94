// Frame codec: LRC, VerifyMessage and field decoding on any text.
#include "link/commands.h"
#include "link/framecodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const quint8 lrc = lnk::LRC(text);
    const bool ok = lnk::VerifyMessage(text);
    for (int p = -1; p <= static_cast<int>(size) + 1; ++p) {
        (void)lnk::decodeField(text, p, 2);
        (void)lnk::decodeField(text, p, 4);
    }
    (void)lnk::cmd::headerResponseOk(text);
    (void)lnk::cmd::blockResponseOk(text, 32);
    // A frame built from a valid text always passes the check.
    if (size >= 1 && text.startsWith(':') && !text.contains('\r') && !text.contains('\n') && lrc != 0) {
        const QByteArray frame = text + lnk::hex2(lrc) + "\r\n";
        if (frame.size() % 2 == 1 && !lnk::VerifyMessage(frame) && (size % 2 == 1))
            std::abort();
    }
    (void)ok;
    return 0;
}
