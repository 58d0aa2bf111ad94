// Datapacket reader on any bytes; whatever it accepts must survive a write and a re-read, and
// measurements it accepts are written back as the same bytes.
#include "acquisition/datapacket.h"
#include "acquisition/measurements.h"

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
    const QByteArray written = acq::writeDatapacket(*p);
    const auto again = acq::readDatapacket(written, &error);
    if (!again || again->rowCount() != p->rowCount() || again->width() != p->width())
        std::abort();
    if (const auto m = acq::Measurements::fromRecords(*again, &error)) {
        const auto back = acq::Measurements::fromRecords(*acq::readDatapacket(acq::writeDatapacket(m->toRecords()), &error), &error);
        if (!back || acq::writeDatapacket(back->toRecords()) != acq::writeDatapacket(m->toRecords()))
            std::abort();
    }
    return 0;
}
