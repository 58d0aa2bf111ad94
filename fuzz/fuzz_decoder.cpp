// Memory decoder on any block response: never crashes, rows only for open tests.
#include "acquisition/memorydecoder.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray resp(reinterpret_cast<const char*>(data), static_cast<int>(size));
    acq::MeasurementTable table;
    int tests = 0;
    acq::MemoryDecoder d(table, [&](int) { ++tests; });
    const int count = size > 9 ? static_cast<int>((size - 9) / 4) : 0;
    d.feedBlock(resp, count);
    d.feedBlock(resp, count);
    (void)acq::decodeHeader(resp);
    return 0;
}
