#include "link/portmap.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace lnk {

QString PortMap::defaultDevice(int index) {
    if (index < 0 || index >= kPorts)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(index + 1);
#else
    return QStringLiteral("/dev/ttyS%1").arg(index);
#endif
}

QString PortMap::device(int index) const {
    if (index < 0 || index >= kPorts)
        return {};
    const QString& o = overrides_[static_cast<size_t>(index)];
    return o.isEmpty() ? defaultDevice(index) : o;
}

void PortMap::setDevice(int index, const QString& path) {
    if (index >= 0 && index < kPorts)
        overrides_[static_cast<size_t>(index)] = path;
}

int PortMap::indexOfKey(const QString& key) {
    for (int i = 0; i < kPorts; ++i)
        if (key.compare(QStringLiteral("COM%1").arg(i + 1), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<bool> PortMap::present(const QString& device) {
    if (device.isEmpty())
        return std::nullopt;
    static const QRegularExpression comName(QStringLiteral(R"(^(?:\\\.\\)?(COM\d+)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (const auto m = comName.match(device); m.hasMatch()) {
#ifdef Q_OS_WIN
        // The serial ports the system knows now, a USB adapter's included while it is plugged.
        QSettings ports(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"), QSettings::NativeFormat);
        for (const QString& key : ports.allKeys())
            if (ports.value(key).toString().compare(m.captured(1), Qt::CaseInsensitive) == 0)
                return true;
        return false;
#else
        return std::nullopt;
#endif
    }
    return QFileInfo::exists(device);
}

} // namespace lnk
