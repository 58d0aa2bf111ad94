// The spreadsheet cell rule's two number grammars and the row-number formatter on any text.
#include "export/dtExport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto d = dtexcel::decimalNumber(text);
    const auto h = dtexcel::hexInteger(text);
    (void)dtexcel::rowNumberInteger(text);
    if (h && !d && text.trimmed().isEmpty())
        std::abort();
    const auto f = formatRowNumber(text, static_cast<qint64>(size) - 3);
    if (f && !text.contains(QLatin1Char('%')))
        std::abort(); // a pattern without a conversion is never accepted
    TdtDataSetExport x;
    x.setRowNumberFormat(text);
    QString out;
    int width = 0;
    x.RowNumberText(out, width);
    return 0;
}
