#include "link/commands.h"

#include "link/framecodec.h"

namespace lnk::cmd {

QByteArray readRequest(int start, int count) {
    return buildRequest(kReadRegisters, {start, count});
}

QByteArray writeRequest(int address, int value) {
    return buildRequest(kWriteRegister, {address, value});
}

bool headerResponseOk(const QByteArray& response) {
    return VerifyMessage(response) && response.size() == readResponseLength(2) && response.startsWith(":0304");
}

bool blockResponseOk(const QByteArray& response, int count) {
    if (!VerifyMessage(response) || response.size() != readResponseLength(count) || !response.startsWith(":03"))
        return false;
    const auto bytes = decodeField(response, 4, 2);
    return bytes && *bytes == static_cast<quint32>(2 * count);
}

} // namespace lnk::cmd
