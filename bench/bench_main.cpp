// Decoding a full memory, showing a test of 8 000 samples, exporting it.
#include "acquisition/cp1252.h"
#include "acquisition/memorydecoder.h"
#include "app/evaluationdialog.h"
#include "app/tform1.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A full memory: 8 191 records, one test of 8 188 samples.
QByteArray fullImage() {
    emu::TestRecords r;
    for (int i = 0; 2 + 2 * r.samples.size() < 2 * 8191 - 4; ++i)
        r.samples << std::pair{quint16(0x100 + (i % 400)), quint16(0x0F0)};
    return emu::buildImage(r.words(), 1, 32768);
}

// The memory as a download reads it: from address 0 to the end of the last block.
void BM_DecodeFullMemory(benchmark::State& st) {
    const QByteArray memory = fullImage();
    for (auto _ : st) {
        const acq::DecodedMemory d = acq::decodeMemory(memory);
        benchmark::DoNotOptimize(d.data.rowCount());
    }
}
BENCHMARK(BM_DecodeFullMemory)->Unit(benchmark::kMillisecond);

void BM_TestViewOf8000Samples(benchmark::State& st) {
    MainWindowRig w;
    w.form->show();
    fillMeasurements(w.form->ClientDataSet1(), 8000);
    w.form->ComboBox1->addItem(QStringLiteral("Ensaio 1"), 1);
    w.form->ComboBox1->setCurrentIndex(0);
    const bool paint = st.range(0) != 0;
    for (auto _ : st) {
        w.form->ComboBox1Change();
        if (paint)
            QApplication::processEvents(); // the grid and the chart drawn once
    }
}
BENCHMARK(BM_TestViewOf8000Samples)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A test of n samples in the window's measurements, shown.
void showFilled(MainWindowRig& w, int n) {
    fillMeasurements(w.form->ClientDataSet1(), n);
    w.form->ComboBox1->addItem(QStringLiteral("Ensaio 1"), 1);
    w.form->ComboBox1->setCurrentIndex(0);
    w.form->ComboBox1Change();
}

void BM_Export8000Rows(benchmark::State& st) {
    MainWindowRig w;
    showFilled(w, 8000);
    auto& x = w.form->dtDataSetExport1;
    x.ExportStyle = xsFile;
    x.Options &= ~opt(xoShowProgress);
    x.OnFileExist = [](const QString&, bool& can) { can = true; };
    x.OnEndExport = nullptr;
    for (auto _ : st) {
        x.FileName = w.dir.filePath(QStringLiteral("bench.xls"));
        x.RunExport();
    }
    st.counters["bytes"] = static_cast<double>(QFileInfo(w.dir.filePath(QStringLiteral("bench.XLS"))).size());
}
BENCHMARK(BM_Export8000Rows)->Unit(benchmark::kMillisecond);

// The floor beside BM_Export8000Rows: the same records for the same values, emitted by a plain
// loop straight into a QByteArray — no table walk, no display texts, no cell rule. The values
// are taken from the table once, before the loop. Arg 1 also writes the file as the export
// does (a sibling temporary file, synced to disk and renamed); Arg 2 writes it the same way
// without the sync, to show what the sync costs. The bytes are checked against the export's
// file, so the floor is for exactly that output.
struct PlainSheet {
    QByteArray head;             ///< BOF … margins: fixed for the program's settings
    QList<QByteArray> captions;  ///< Windows-1252 bytes
    std::vector<double> numbers; ///< row by row, `columns` a row
    int columns = 0;
};

PlainSheet plainSheet(const acq::Records& t) {
    auto word = [](QByteArray& b, int w) { b.append(char(w & 0xFF)).append(char((w >> 8) & 0xFF)); };
    PlainSheet s;
    QByteArray& h = s.head;
    for (int w : {0x0809, 6, 0x0200, 0x0010, 0, 0x0042, 2, 0x04E4, 0x0200, 10, 0, 0xFFFF, 0, 0x0100, 0})
        word(h, w);
    for (int bold : {0, 1, 0}) {
        for (int w : {0x0031, 18, 160, bold})
            word(h, w);
        h.append(char(13)).append("MS Sans Serif");
    }
    for (int f = 0; f < 3; ++f) {
        word(h, 0x0043);
        word(h, 4);
        h.append(char(f)).append(char(0)).append(char(0x40)).append(char(f == 0 ? 0 : 0x78));
    }
    word(h, 0x0015);
    word(h, 3);
    h.append(char(2)).append("&P");
    for (int id : {0x26, 0x29, 0x28, 0x27}) {
        word(h, id);
        word(h, 8);
        const double m = 0.3;
        h.append(reinterpret_cast<const char*>(&m), 8);
    }
    s.columns = t.width();
    for (const acq::FieldDef& f : t.fields)
        s.captions << acq::toCp1252(f.displayName());
    for (qsizetype r = 0; r < t.rowCount(); ++r)
        for (int c = 0; c < s.columns; ++c)
            s.numbers.push_back(acq::displayText(t.fields[c], t.value(r, c)).toDouble());
    return s;
}

QByteArray writePlain(const PlainSheet& s) {
    QByteArray b;
    b.reserve(s.head.size() + qsizetype(s.numbers.size()) * 19 + 4096);
    b.append(s.head);
    char r[19 + 255];
    auto put = [&r](int at, quint16 w) {
        r[at] = char(w & 0xFF);
        r[at + 1] = char(w >> 8);
    };
    for (int c = 0; c < s.columns; ++c) {
        const QByteArray& text = s.captions[c];
        put(0, 0x0004);
        put(2, quint16(8 + text.size()));
        put(4, 0);
        put(6, quint16(c));
        r[8] = 0x41, r[9] = 0x40, r[10] = 0x78, r[11] = char(text.size());
        std::memcpy(r + 12, text.constData(), size_t(text.size()));
        b.append(r, 12 + text.size());
    }
    put(0, 0x0003);
    put(2, 15);
    r[8] = 0x42, r[9] = char(0x80), r[10] = 0x78;
    const int rows = int(s.numbers.size()) / s.columns;
    for (int row = 0; row < rows; ++row) {
        put(4, quint16(row + 1));
        for (int c = 0; c < s.columns; ++c) {
            put(6, quint16(c));
            std::memcpy(r + 11, &s.numbers[size_t(row * s.columns + c)], 8);
            b.append(r, 19);
        }
    }
    b.append("\x0A\x00\x00\x00", 4);
    return b;
}

void BM_PlainRecords8000Rows(benchmark::State& st) {
    MainWindowRig w;
    showFilled(w, 8000);
    auto& x = w.form->dtDataSetExport1;
    x.ExportStyle = xsFile;
    x.Options &= ~opt(xoShowProgress);
    x.FileName = w.dir.filePath(QStringLiteral("export.xls"));
    x.RunExport();
    const PlainSheet s = plainSheet(w.form->ClientDataSet1().toRecords());
    if (writePlain(s) != readAllOf(w.dir.filePath(QStringLiteral("export.XLS")))) {
        st.SkipWithError("the plain records differ from the export's file");
        return;
    }
    const QString path = w.dir.filePath(QStringLiteral("plain.xls"));
    for (auto _ : st) {
        const QByteArray b = writePlain(s);
        if (st.range(0) == 1) {
            QSaveFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size() || !f.commit())
                st.SkipWithError("cannot write the file");
        } else if (st.range(0) == 2) {
            QFile f(path + QStringLiteral(".tmp"));
            bool ok = f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
            f.close();
            ok = ok && std::rename(QFile::encodeName(f.fileName()).constData(), QFile::encodeName(path).constData()) == 0;
            if (!ok)
                st.SkipWithError("cannot write the file");
        }
        benchmark::DoNotOptimize(b.constData());
    }
    st.counters["bytes"] = static_cast<double>(writePlain(s).size());
}
BENCHMARK(BM_PlainRecords8000Rows)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The evaluation window's redraw after a limit moves, on a test of 8 000 samples: the new
// evaluation and the chart painted into an image the window's size.
void BM_EvaluationWindowRedraw(benchmark::State& st) {
    acq::Measurements t;
    t.startTest(1);
    for (int i = 1; i <= 8000; ++i) {
        const double m = acq::sampleMinutes(i);
        t.addSample(acq::Row{0, 1, i, m, 22.0 + 0.002 * m + (m > 60 ? 2.5 * (1 - std::exp(-(m - 60) / 1.2)) : 0.0), 22.0});
    }
    ScriptedFiles files;
    ScriptedMessages messages;
    TFormAvaliacao d(t, t.tests().at(0), {}, {}, files, messages);
    d.resize(760, 640);
    QImage img(d.Plot->size(), QImage::Format_ARGB32_Premultiplied);
    const double c = d.outcome().ok() ? d.outcome().result->periods.c : 120;
    int k = 0;
    for (auto _ : st) {
        d.setLimit(2, c + (k++ % 2 ? 0.5 : 0.0));
        d.Plot->render(&img);
    }
}
BENCHMARK(BM_EvaluationWindowRedraw)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
