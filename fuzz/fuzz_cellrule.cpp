// The spreadsheet cell rule's two number grammars and the row-number formatter on any text; the
// decimal conversion against the library parser wherever that parser reads the text.
#include "export/dtExport.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

// The value the library parser gives the text's digits, sign applied; none when it does not
// read them whole, in range, from a short text (where the grammar's own fallbacks take over).
std::optional<double> libraryValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        neg = text[i++] == QLatin1Char('-');
    const QByteArray body = text.mid(i).toLatin1();
    if (body.size() >= 128)
        return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(body.constData(), body.constData() + body.size(), v);
    if (r.ec != std::errc() || r.ptr != body.constData() + body.size())
        return std::nullopt;
    return neg ? -v : v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto d = dtexcel::decimalNumber(text);
    const auto h = dtexcel::hexInteger(text);
    (void)dtexcel::rowNumberInteger(text);
    if (h && !d && text.trimmed().isEmpty())
        std::abort();
    double value = 0;
    if (dtexcel::decimalNumber(text, value) != d.has_value() ||
        (d && std::bit_cast<uint64_t>(value) != std::bit_cast<uint64_t>(*d)))
        std::abort(); // the cell loop's form and the plain one agree
    if (d) {
        const auto want = libraryValue(text);
        if (want && std::bit_cast<uint64_t>(*want) != std::bit_cast<uint64_t>(*d))
            std::abort();
    }
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
