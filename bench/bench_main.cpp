// Decoding a full memory, showing a test of 8 000 samples, exporting it.
#include "acquisition/memorydecoder.h"
#include "app/evaluationdialog.h"
#include "app/tform1.h"
#include "link/commands.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

// A full memory: 8 191 records, one test of 8 188 samples.
QByteArray fullImage() {
    emu::TestRecords r;
    for (int i = 0; 2 + 2 * r.samples.size() < 2 * 8191 - 4; ++i)
        r.samples << std::pair{quint16(0x100 + (i % 400)), quint16(0x0F0)};
    return emu::buildImage(r.words(), 1, 32768);
}

QList<std::pair<QByteArray, int>> blockResponses(const QByteArray& image) {
    emu::LoggerModel m(image);
    QList<std::pair<QByteArray, int>> out;
    for (int b = acq::kFirstBlock;; b += acq::kBlockRegisters) {
        const int c = acq::blockCount(b, 32768);
        out << std::pair{m.respond(lnk::cmd::readRequest(b, c)), c};
        if (!acq::moreBlocks(b, 32768))
            break;
    }
    return out;
}

void BM_DecodeFullMemory(benchmark::State& st) {
    const auto blocks = blockResponses(fullImage());
    for (auto _ : st) {
        acq::MeasurementTable t;
        t.disableControls();
        acq::MemoryDecoder d(t, [](int) {});
        for (const auto& [resp, c] : blocks)
            d.feedBlock(resp, c);
        t.enableControls();
        benchmark::DoNotOptimize(t.allRows().size());
    }
}
BENCHMARK(BM_DecodeFullMemory)->Unit(benchmark::kMillisecond);

void fill8000(acq::MeasurementTable& t) {
    t.disableControls();
    for (int i = 1; i <= 8000; ++i) {
        t.append();
        t.setValue(acq::field::Ensaio, 1);
        t.setValue(acq::field::SubReg, i);
        t.setValue(acq::field::Tempo, acq::sampleMinutes(i));
        t.setValue(acq::field::Tint, 22.0 + i * 0.0001);
        t.setValue(acq::field::Text, 21.5);
        t.setValue(acq::field::TMax, i == 1 ? 24.0 : 0.0);
        t.setValue(acq::field::TMin, i == 1 ? 22.0 : 0.0);
        t.post();
    }
    t.enableControls();
}

void BM_TestViewOf8000Samples(benchmark::State& st) {
    MainWindowRig w;
    w.form->show();
    fill8000(w.form->ClientDataSet1());
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

void BM_Export8000Rows(benchmark::State& st) {
    MainWindowRig w;
    fill8000(w.form->ClientDataSet1());
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

// The evaluation window's redraw after a limit moves, on a test of 8 000 samples: the new
// evaluation and the chart painted into an image the window's size.
void BM_EvaluationWindowRedraw(benchmark::State& st) {
    acq::MeasurementTable t;
    for (int i = 1; i <= 8000; ++i) {
        t.append();
        t.setValue(acq::field::Ensaio, 1);
        t.setValue(acq::field::SubReg, i);
        t.setValue(acq::field::Tempo, acq::sampleMinutes(i));
        const double m = acq::sampleMinutes(i);
        t.setValue(acq::field::Tint, 22.0 + 0.002 * m + (m > 60 ? 2.5 * (1 - std::exp(-(m - 60) / 1.2)) : 0.0));
        t.setValue(acq::field::Text, 22.0);
        t.post();
    }
    ScriptedFiles files;
    ScriptedMessages messages;
    TFormAvaliacao d(t, 1, {}, {}, files, messages);
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
