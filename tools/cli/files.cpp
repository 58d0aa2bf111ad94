// The commands on data files and memory images: decode, show, export, plot.
#include "tools/cli/cli.h"

namespace cli {

int decode(const Command&, QCommandLineParser& p) {
    const QString in = p.positionalArguments().value(0);
    const QString path = value(p, "out");
    if (!outputUsable(path, {in}))
        return kUsage;
    acq::ReadFailure failure{};
    QString why;
    const auto read = acq::readWholeFile(in, acq::kMemoryBytes, &failure, &why);
    if (!read) {
        if (failure == acq::ReadFailure::TooLarge)
            err(ses::msg::CliLargerThanMemory.arg(native(in)).arg(acq::kMemoryBytes));
        else if (failure == acq::ReadFailure::NotRegular)
            err(QStringLiteral("%1: %2").arg(native(in), why));
        else
            err(ses::msg::CliCannotOpen.arg(native(in), why));
        return kFile;
    }
    const QByteArray image = *read;
    const auto header = acq::decodeHeader(image);
    if (!header) {
        err(ses::msg::CliTooShortForHeader.arg(native(in)));
        return kContents;
    }
    // A dump ends with the last block read; the data it announces must all be there, unless
    // only the tests read to their end are asked for.
    const bool cut = header->flag != 0 && image.size() < acq::kMemoryBytes && image.size() < std::min(header->end, acq::kMemoryBytes);
    if (cut && !isSet(p, "partial")) {
        err(ses::msg::CliDumpShort.arg(native(in)).arg(header->end).arg(image.size()) + QStringLiteral(".") +
            ses::msg::PartialFileCli);
        return kContents;
    }
    if (!outputWritable(path))
        return kFile;
    // The same decoding as the download's, from the bytes the dump holds.
    Cli c;
    const ses::Outcome o = c.session.takeMemory(image);
    if (!o.text.isEmpty())
        err(o.text);
    if (!o.ok())
        return exitOf(o);
    if (cut) {
        // The tests after the last one read to its end run past the dump's last byte.
        const QList<acq::TestRun> tests = c.session.tests();
        const auto ended = c.session.lastEndedTest();
        qsizetype keep = 0;
        while (ended && keep < tests.size() && !tests[keep].sameTest(*ended))
            ++keep;
        keep = ended ? keep + 1 : 0;
        if (keep == 0) {
            err(ses::msg::CliDumpShort.arg(native(in)).arg(header->end).arg(image.size()) +
                QStringLiteral(": nenhum ensaio foi lido até o fim"));
            return kContents;
        }
        std::vector<int> rows;
        QStringList kept, left;
        for (qsizetype i = 0; i < tests.size(); ++i) {
            (i < keep ? kept : left) << tests[i].label();
            if (i >= keep)
                rows.insert(rows.end(), tests[i].rows.begin(), tests[i].rows.end());
        }
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (int r : rows)
            c.session.removeRow(r);
        if (!left.isEmpty())
            err(ses::msg::PartialFileRead.arg(native(in), kept.join(QStringLiteral(", ")), left.join(QStringLiteral(", "))));
    }
    return saveDownload(c.session, path);
}

int show(const Command&, QCommandLineParser& p) {
    Cli c;
    if (!loadFile(p, p.positionalArguments().value(0), c))
        return kFile;
    const acq::Measurements& m = c.session.data();
    if (!p.isSet(kTest)) {
        out(QStringLiteral("Ensaio\tLinhas\tMínima\tMáxima"));
        for (const TestSummary& s : summarizeTests(m))
            out(QStringLiteral("%1\t%2\t%3\t%4").arg(s.test.label()).arg(s.rows).arg(s.minLabel, s.maxLabel));
        return kOk;
    }
    const auto n = testOption(p, c.session);
    if (!n)
        return kUsage;
    out(QStringLiteral("Registro\tTempo (min)\tTemp. Int. (°C)\tTemp. Ext. (°C)"));
    for (const int r : m.inOrder(*n))
        out(QStringList{m.displayText(r, acq::ColSubReg), m.displayText(r, acq::ColTempo), m.displayText(r, acq::ColTint),
                        m.displayText(r, acq::ColText)}
                .join(QLatin1Char('\t')));
    return kOk;
}

// The data file and the test of "export" and "plot", and their output folder.
int exportTest(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    const QString format = p.isSet(QStringLiteral("format")) ? value(p, "format").toLower() : QStringLiteral("xls");
    if (format != QLatin1String("xls") && format != QLatin1String("csv")) {
        err(ses::msg::CliFormatUnknown.arg(value(p, "format")));
        return kUsage;
    }
    // Exactly the file asked for: a name whose extension is not the format's is refused, never
    // changed into another name.
    if (QFileInfo(path).suffix().compare(format, Qt::CaseInsensitive) != 0) {
        err(ses::msg::CliExtensionNotFormat
                .arg(native(path), format, QFileInfo(path).suffix().toLower() == QLatin1String("csv") ? QStringLiteral("csv") : QStringLiteral("xls")));
        return kUsage;
    }
    Cli c;
    acq::TestRun n;
    if (const auto code = loadTestFor(p, path, c, n))
        return *code;
    const acq::MeasurementRows rows(c.session.data(), c.session.data().inOrder(n));
    if (format == QLatin1String("csv"))
        return writeOrTell(path, recordsCsv(rows)) ? kOk : kFile;
    // The spreadsheet is written under exactly the name asked for (".xls" as typed).
    QString why;
    if (!writeSpreadsheet(rows, path, false, &why)) {
        err(QStringLiteral("%1: %2").arg(native(path), why));
        return kFile;
    }
    return kOk;
}

int plot(const Command&, QCommandLineParser& p) {
    const QString path = value(p, "out");
    int w = 600, h = 450;
    if (p.isSet(QStringLiteral("size"))) {
        const QStringList wh = value(p, "size").split(QLatin1Char('x'));
        bool ok1 = false, ok2 = false;
        if (wh.size() == 2) {
            w = wh[0].toInt(&ok1);
            h = wh[1].toInt(&ok2);
        }
        if (!ok1 || !ok2 || w < 50 || h < 50 || w > 10000 || h > 10000) {
            err(ses::msg::CliSizeForm);
            return kUsage;
        }
    }
    Cli c;
    acq::TestRun n;
    if (const auto code = loadTestFor(p, path, c, n))
        return *code;
    TestView v = viewOf(c.session.data(), n);
    TestChart chart;
    chart.setPoints(std::move(v.interna), std::move(v.externa));
    chart.chart()->setTitle(n.caption());
    QChartView view(chart.chart());
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(w, h);
    const QImage img = view.grab().toImage().scaled(w, h);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    if (!img.save(&buf, "PNG")) {
        err(ses::msg::CliNoDrawing.arg(native(path)));
        return kFile;
    }
    return writeOrTell(path, png) ? kOk : kFile;
}


} // namespace cli
