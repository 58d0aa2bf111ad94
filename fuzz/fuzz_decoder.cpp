// Memory decoder on any bytes: never crashes, every row belongs to a listed test.
#include "acquisition/memorydecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray memory(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const acq::DecodedMemory d = acq::decodeMemory(memory);
    size_t listed = 0;
    for (const acq::TestRun& t : d.data.tests())
        listed += t.rows.size();
    if (listed != d.data.rows().size())
        std::abort();
    return 0;
}
