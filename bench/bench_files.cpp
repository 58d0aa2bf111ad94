// Data files: opening and saving the measurements, and the memory a row of them takes, each
// beside its peer (Python's ElementTree on the same file; rows held as variants).
#include "acquisition/datapacket.h"
#include "acquisition/measurements.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <tuple>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kPeer = QStringLiteral(REGISTRADOR_SOURCE_DIR "/bench/et_peer.py");

// Tests of 8 000 samples (or one test of all rows), temperatures from raw logger values: the
// digits a real file holds.
acq::Measurements fill(int rows, int perTest = 8000) {
    acq::Measurements t;
    for (int i = 0; i < rows; ++i) {
        const int sub = 1 + i % perTest;
        if (sub == 1)
            t.startTest(1 + i / perTest);
        const int at = t.addSample(acq::Row{0, 1 + i / perTest, sub, acq::sampleMinutes(sub),
                                            acq::rawToCelsius(static_cast<quint32>(i % 1024)),
                                            acq::rawToCelsius(static_cast<quint32>((i * 7) % 1024))});
        if (sub == 1)
            t.setExtremes(at, 25.0, 20.0);
    }
    return t;
}

// One data file per size, written once by our own save.
QString dataFile(int rows) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m%1.dat").arg(rows));
    if (!QFile::exists(path)) {
        QString error;
        if (!acq::saveDatapacket(fill(rows).toRecords(), path, &error)) qFatal("%s", qPrintable(error));
    }
    return path;
}

// Runs the peer script and gives the seconds it reports for its own work.
double runPeer(const QStringList& args, benchmark::State& st) {
    QProcess p;
    p.start(kPython, QStringList{kPeer} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        st.SkipWithError("the Python peer did not run");
        return 0;
    }
    return p.readAllStandardOutput().trimmed().toDouble();
}

void BM_OpenDataFile(benchmark::State& st) {
    const int rows = static_cast<int>(st.range(0));
    const QString path = dataFile(rows);
    for (auto _ : st) {
        QString error;
        const auto t = acq::Measurements::load(path, &error, nullptr);
        if (!t) st.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(t->rowCount());
    }
    st.counters["rows"] = rows;
    st.counters["bytes"] = static_cast<double>(QFile(path).size());
}
BENCHMARK(BM_OpenDataFile)->Arg(8000)->Arg(64000)->Unit(benchmark::kMillisecond);

void BM_OpenDataFilePeerElementTree(benchmark::State& st) {
    const QString path = dataFile(static_cast<int>(st.range(0)));
    for (auto _ : st)
        st.SetIterationTime(runPeer({QStringLiteral("read"), path}, st));
    st.counters["rows"] = static_cast<double>(st.range(0));
}
BENCHMARK(BM_OpenDataFilePeerElementTree)
    ->Arg(8000)
    ->Arg(64000)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

void BM_SaveDataFile(benchmark::State& st) {
    const int rows = static_cast<int>(st.range(0));
    const acq::Measurements t = fill(rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.dat"));
    for (auto _ : st) {
        QString error;
        if (!t.save(path, &error)) st.SkipWithError(qPrintable(error));
    }
    st.counters["rows"] = rows;
    st.counters["bytes"] = static_cast<double>(QFile(path).size());
}
BENCHMARK(BM_SaveDataFile)->Arg(8000)->Arg(64000)->Unit(benchmark::kMillisecond);

// The text alone, without the file (saving also waits for the disk: the file is synced before
// it replaces the old one).
void BM_WriteDatapacket(benchmark::State& st) {
    const acq::Measurements t = fill(static_cast<int>(st.range(0)));
    for (auto _ : st)
        benchmark::DoNotOptimize(acq::writeDatapacket(t.toRecords()).size());
}
BENCHMARK(BM_WriteDatapacket)->Arg(8000)->Arg(64000)->Unit(benchmark::kMillisecond);

void BM_SaveDataFilePeerElementTree(benchmark::State& st) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.xml"));
    for (auto _ : st)
        st.SetIterationTime(
            runPeer({QStringLiteral("write"), path, QString::number(st.range(0))}, st));
    st.counters["rows"] = static_cast<double>(st.range(0));
}
BENCHMARK(BM_SaveDataFilePeerElementTree)
    ->Arg(8000)
    ->Arg(64000)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Memory in use: malloc's (its arena and the blocks it maps on its own).
size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Bytes a row of an opened data file keeps on the heap, the table's indexes included.
void BM_TableMemoryPerRow(benchmark::State& st) {
    const int rows = static_cast<int>(st.range(0));
    const QString path = dataFile(rows);
    double perRow = 0;
    for (auto _ : st) {
        malloc_trim(0);
        const size_t before = heapInUse();
        std::optional<acq::Measurements> t;
        {
            QString error;
            t = acq::Measurements::load(path, &error, nullptr);
            if (!t) st.SkipWithError(qPrintable(error));
        }
        perRow = static_cast<double>(heapInUse() - before) / rows;
        t.reset();
    }
    st.counters["bytes_per_row"] = perRow;
}
BENCHMARK(BM_TableMemoryPerRow)
    ->Arg(8000)
    ->Arg(64000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A /proc/self/status figure in bytes ("VmRSS", "VmHWM").
double statusBytes(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(std::strlen(key)) + 1)
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toDouble() *
                   1024;
    return 0;
}

// The most memory an open takes on the way, a row's share: the file's text, the parser's
// nodes, the packet and the table at once (resident pages, so in whole pages).
void BM_OpenPeakMemoryPerRow(benchmark::State& st) {
    const int rows = static_cast<int>(st.range(0));
    const QString path = dataFile(rows);
    double perRow = 0;
    for (auto _ : st) {
        malloc_trim(0);
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1) {
            st.SkipWithError("the peak of resident memory cannot be reset here");
            return;
        }
        reset.close();
        const double before = statusBytes("VmRSS:");
        {
            QString error;
            const auto t = acq::Measurements::load(path, &error, nullptr);
            if (!t) st.SkipWithError(qPrintable(error));
        }
        perRow = (statusBytes("VmHWM:") - before) / rows;
    }
    st.counters["peak_bytes_per_row"] = perRow;
}
BENCHMARK(BM_OpenPeakMemoryPerRow)
    ->Arg(8000)
    ->Arg(64000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The peer: the same rows held as a list of variant rows, a generic table's storage.
void BM_TableMemoryPerRowPeerVariantRows(benchmark::State& st) {
    const int rows = static_cast<int>(st.range(0));
    const acq::Records all = fill(rows).toRecords();
    double perRow = 0;
    for (auto _ : st) {
        malloc_trim(0);
        const size_t before = heapInUse();
        auto* copy = new QList<QList<QVariant>>;
        for (qsizetype r = 0; r < all.rowCount(); ++r)
            copy->append(all.row(r)); // a row of its own
        perRow = static_cast<double>(heapInUse() - before) / rows;
        delete copy;
    }
    st.counters["bytes_per_row"] = perRow;
}
BENCHMARK(BM_TableMemoryPerRowPeerVariantRows)
    ->Arg(8000)
    ->Arg(64000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

// "bench_files --write-data DIR" writes the files that bench/show_compare.sh lists.
int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-data") == 0) {
        const QString dir = QString::fromLocal8Bit(argv[2]);
        for (const auto& [name, rows, perTest] :
             {std::tuple{"m8000.dat", 8000, 8000}, std::tuple{"m64000.dat", 64000, 8000},
              std::tuple{"one64000.dat", 64000, 64000}}) {
            QString error;
            if (!acq::saveDatapacket(fill(rows, perTest).toRecords(), dir + QLatin1Char('/') + QLatin1String(name), &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
