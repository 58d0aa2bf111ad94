// Datapacket reader on any bytes; whatever it accepts must survive a write and a re-read.
#include "acquisition/datapacket.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QString error;
    const auto p = acq::readDatapacket(bytes, &error);
    if (!p) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    acq::Table t;
    t.assign(p->fields, p->rows, p->autoIncValue);
    const auto again = acq::readDatapacket(acq::writeDatapacket(t), &error);
    if (!again || again->rows.size() != p->rows.size() || again->fields.size() != p->fields.size())
        std::abort();
    return 0;
}
