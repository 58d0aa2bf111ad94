// The balance's port on QSerialPort: without an event loop, as the logger's line is driven.
#include "link/balance.h"

#include <QSerialPort>

namespace lnk::balance {

namespace {

class SerialBalancePort : public BalancePort {
public:
    bool open(const QString& device, const LineSettings& line, QString* why) override {
        close();
        port_.setPortName(device);
        if (!port_.open(QIODevice::ReadWrite)) {
            if (why)
                *why = QStringLiteral("não foi possível abrir a porta da balança %1: %2").arg(device, port_.errorString());
            return false;
        }
        const bool set = port_.setBaudRate(line.baud) &&
                         port_.setDataBits(line.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8) &&
                         port_.setParity(line.parity == 'E'   ? QSerialPort::EvenParity
                                         : line.parity == 'O' ? QSerialPort::OddParity
                                                              : QSerialPort::NoParity) &&
                         port_.setStopBits(line.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                         port_.setFlowControl(line.xonXoff ? QSerialPort::SoftwareControl : QSerialPort::NoFlowControl);
        if (!set) {
            if (why)
                *why = QStringLiteral("a porta da balança %1 não aceitou a linha %2: %3")
                           .arg(device, lineName(line), port_.errorString());
            port_.close();
            return false;
        }
        port_.clearError();
        return true;
    }
    void close() override {
        if (port_.isOpen())
            port_.close();
    }
    bool write(const QByteArray& bytes) override {
        if (port_.write(bytes) != bytes.size())
            return false;
        port_.waitForBytesWritten(500);
        port_.clearError();
        return true;
    }
    QByteArray read(int waitMs) override {
        if (port_.bytesAvailable() == 0)
            port_.waitForReadyRead(waitMs);
        // A timed-out wait only means nothing came; it is no failure of the port.
        port_.clearError();
        return port_.readAll();
    }
    void discardInput() override {
        port_.waitForReadyRead(0);
        port_.readAll();
        port_.clear(QSerialPort::Input);
        port_.clearError();
    }

private:
    QSerialPort port_;
};

} // namespace

std::unique_ptr<BalancePort> serialBalancePort() { return std::make_unique<SerialBalancePort>(); }

} // namespace lnk::balance
