#include "tools/emulator/loggermodel.h"

#include "link/commands.h"
#include "link/framecodec.h"

#include <QList>

namespace emu {

LoggerModel::LoggerModel(QByteArray image) { setMemory(std::move(image)); }

void LoggerModel::setMemory(QByteArray image) {
    image.resize(kMemorySize, '\0');
    memory_ = std::move(image);
}

quint16 LoggerModel::reg(int index) const {
    if (index < 0 || index >= kRegisters)
        return 0;
    const auto hi = static_cast<unsigned char>(memory_[2 * index]);
    const auto lo = static_cast<unsigned char>(memory_[2 * index + 1]);
    return static_cast<quint16>(hi << 8 | lo);
}

void LoggerModel::setReg(int index, quint16 value) {
    if (index < 0 || index >= kRegisters)
        return;
    memory_[2 * index] = static_cast<char>(value >> 8);
    memory_[2 * index + 1] = static_cast<char>(value & 0xFF);
}

QByteArray LoggerModel::readResponse(int start, int count) {
    QByteArray frame = ":03" + lnk::hex2((2 * count) & 0xFF);
    for (int i = 0; i < count; ++i)
        frame += lnk::hex4(reg(start + i));
    frame += lnk::hex2(lnk::LRC(frame));
    frame += "\r\n";
    return frame;
}

QByteArray LoggerModel::respond(const QByteArray& request, int lineBaud) {
    hold_ = faults.delayMs;
    if (faults.jitterMs > 0) {
        if (faults.jitterSeed != jitterSeed_)
            jitter_.seed(jitterSeed_ = faults.jitterSeed);
        hold_ += std::uniform_int_distribution<int>(0, faults.jitterMs)(jitter_);
    }
    if (faults.silent || !lnk::VerifyMessage(request))
        return {};
    if (faults.requiredBaud > 0 && lineBaud != faults.requiredBaud)
        return {};
    const auto fn = lnk::decodeField(request, 2, 2);
    if (!fn)
        return {};
    if (faults.exceptionCode > 0) {
        QByteArray frame = ":" + lnk::hex2((*fn | 0x80) & 0xFF) + lnk::hex2(faults.exceptionCode & 0xFF);
        return frame + lnk::hex2(lnk::LRC(frame)) + "\r\n";
    }
    switch (*fn) {
    case lnk::cmd::kDiagnostics:
        return request;
    case lnk::cmd::kClearMemory:
        memory_[0] = 0;
        return request;
    case lnk::cmd::kWriteRegister: {
        const auto addr = lnk::decodeField(request, 4, 4);
        const auto value = lnk::decodeField(request, 8, 4);
        if (addr && value && request.size() == 15)
            setReg(static_cast<int>(*addr), static_cast<quint16>(*value));
        return request;
    }
    case lnk::cmd::kReadRegisters: {
        const auto start = lnk::decodeField(request, 4, 4);
        const auto count = lnk::decodeField(request, 8, 4);
        if (!start || !count || request.size() != 15)
            return {};
        QByteArray resp = readResponse(static_cast<int>(*start), static_cast<int>(*count));
        if (*start == 0)
            return resp; // header and service reads are not counted as blocks
        ++blockReads_;
        // The download reads block K (1-based) from register 2 + 32 (K - 1).
        const int block = *start >= 2 ? static_cast<int>(*start - 2) / 32 + 1 : 0;
        if (blockReads_ == faults.badLrcBlock || block == faults.lastingBadLrcBlock) {
            const int p = static_cast<int>(resp.size()) - 4;
            resp[p] = resp[p] == '0' ? '1' : '0';
        }
        if (blockReads_ == faults.cutBlock || block == faults.lastingCutBlock)
            resp.truncate(faults.cutLength >= 0 ? faults.cutLength : resp.size() - 2);
        if (blockReads_ == faults.holdBlock)
            hold_ += faults.holdMs;
        return resp;
    }
    default:
        return {};
    }
}

QList<quint16> TestRecords::words() const {
    QList<quint16> w{0xFFFF, static_cast<quint16>(number)};
    for (const auto& [tint, text] : samples)
        w << tint << text;
    if (withEnd)
        w << max << 0xFCFC << min << 0xFCFC;
    return w;
}

QByteArray buildImage(const QList<quint16>& recordWords, int flag, int end) {
    LoggerModel m;
    const int n = end >= 0 ? end : 4 + 2 * static_cast<int>(recordWords.size());
    m.setReg(0, static_cast<quint16>((flag & 0xFF) << 8 | ((n >> 8) & 0xFF)));
    m.setReg(1, static_cast<quint16>((n & 0xFF) << 8));
    for (int i = 0; i < recordWords.size(); ++i)
        m.setReg(2 + i, recordWords[i]);
    return m.memory();
}

} // namespace emu
