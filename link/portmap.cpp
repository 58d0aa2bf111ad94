#include "link/portmap.h"

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

} // namespace lnk
