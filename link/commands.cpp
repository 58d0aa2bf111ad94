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
    return VerifyMessage(response) && response.size() >= 17 && response.startsWith(":0304");
}

bool blockResponseOk(const QByteArray& response, int count) {
    return VerifyMessage(response) && response.size() >= readResponseLength(count);
}

} // namespace lnk::cmd
