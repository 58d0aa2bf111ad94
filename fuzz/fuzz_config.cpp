// Configuration value parsers on any text.
#include "acquisition/configtable.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto port = acq::parseComPort(text);
    (void)acq::parseIntAq(text);
    (void)acq::parseSingle(text);
    // Whatever parses as a decimal port number prints back to the same value.
    if (port && !text.contains(QLatin1Char('x')) && !text.contains(QLatin1Char('X')) &&
        !text.contains(QLatin1Char('$')) && acq::parseComPort(QString::number(*port)) != port)
        std::abort();
    return 0;
}
