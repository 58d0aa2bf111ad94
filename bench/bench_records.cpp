// The results database on SQLite: recording one determination (its 168 readings), listing
// one sample's determinations among 100 000, beside the same query in the sqlite3 shell, and
// walking the audit trail of 10 000.
#include "records/store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

rec::Determination determination(const QString& sample) {
    rec::Determination d;
    d.sampleCode = sample;
    d.operatorName = QStringLiteral("Ana");
    d.calorimeter = QStringLiteral("BC-200");
    d.testDate = QDate(2026, 12, 8);
    d.testNumber = 2;
    for (int i = 1; i <= 168; ++i)
        d.readings.push_back({i, (i - 1) * 5 / 60.0, 22.0 + i / 1023.0, 21.5});
    d.result.periods = {0, 2.92, 11.25, 13.92};
    d.result.riseCorrected = 1.9108;
    d.result.energyEquivalent = 10100.5;
    d.result.grossCalorificValue = 19693.5;
    d.calorimetry.mode = eval::Calorimetry::Mode::Sample;
    d.calorimetry.mass = 0.98;
    d.calorimetry.energyEquivalent = 10100.5;
    return d;
}

std::unique_ptr<rec::Store> open(const QString& path) {
    QString why;
    auto s = rec::Store::open(*rec::Location::parse(path, nullptr), &why);
    if (!s)
        qFatal("%s", qPrintable(why));
    return s;
}

void BM_RecordDetermination(benchmark::State& st) {
    QTemporaryDir dir;
    auto s = open(dir.filePath(QStringLiteral("r.sqlite")));
    int n = 0;
    for (auto _ : st) {
        QString why;
        if (!s->record(determination(QStringLiteral("S-%1").arg(++n)), &why))
            st.SkipWithError(qPrintable(why));
    }
}
BENCHMARK(BM_RecordDetermination)->Unit(benchmark::kMillisecond);

// 100 000 determinations of 50 000 samples (two each), made once: one recorded, then copied in
// SQL under other codes (the list reads no readings).
const QString& bigDatabase() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("cem-mil.sqlite"));
        {
            auto s = open(p);
            QString why;
            if (!s->record(determination(QStringLiteral("S-00000")), &why))
                qFatal("%s", qPrintable(why));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
            db.setDatabaseName(p);
            db.open();
            QStringList columns = [&] {
                QStringList c;
                const QSqlRecord r = db.record(QStringLiteral("determinations"));
                for (int i = 0; i < r.count(); ++i)
                    if (r.fieldName(i) != QLatin1String("id") && r.fieldName(i) != QLatin1String("sample_code"))
                        c << r.fieldName(i);
                return c;
            }();
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 99999)"
                                       " INSERT INTO determinations (sample_code, %1)"
                                       " SELECT printf('S-%05d', n.i % 50000), %1 FROM determinations, n WHERE id = 1")
                            .arg(columns.join(QStringLiteral(", ")))))
                qFatal("fill failed");
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fill"));
        return p;
    }();
    return path;
}

void BM_ListOneSampleOf100000(benchmark::State& st) {
    auto s = open(bigDatabase());
    rec::Filter f;
    f.sample = QStringLiteral("S-04711");
    for (auto _ : st) {
        QString why;
        const auto list = s->list(f, &why);
        if (!list || list->size() != 2)
            st.SkipWithError("not the two determinations of S-04711");
    }
}
BENCHMARK(BM_ListOneSampleOf100000)->Unit(benchmark::kMillisecond);

// The window's filter: any part of the code, in any case (no index can serve it).
void BM_ListAnyPartOfTheCodeOf100000(benchmark::State& st) {
    auto s = open(bigDatabase());
    rec::Filter f;
    f.sample = QStringLiteral("s-0471");
    f.samplePart = true;
    for (auto _ : st) {
        QString why;
        const auto list = s->list(f, &why);
        if (!list || list->size() != 20)
            st.SkipWithError("not the 20 determinations of S-0471x");
    }
}
BENCHMARK(BM_ListAnyPartOfTheCodeOf100000)->Unit(benchmark::kMillisecond);

// results verify over a lab's years: 10 000 determinations recorded through the program (each
// with its 168 readings and its entry), the chain walked and every record and reading checked.
void BM_VerifyTrailOf10000(benchmark::State& st) {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("dez-mil.sqlite"));
        auto s = open(p);
        QString why;
        for (int i = 0; i < 10000; ++i)
            if (!s->record(determination(QStringLiteral("S-%1").arg(i)), &why))
                qFatal("%s", qPrintable(why));
        return p;
    }();
    auto s = open(path);
    for (auto _ : st) {
        QString why;
        const auto check = s->verify(&why);
        if (!check || !check->intact || check->determinations != 10000)
            st.SkipWithError("the trail of 10 000 is not whole");
    }
}
BENCHMARK(BM_VerifyTrailOf10000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The peer: the same query in the sqlite3 shell. Its timer shows whole milliseconds, so the
// shell runs the query 200 times, and the time of a shell that only opens the file is taken off.
void BM_ListOneSampleOf100000_Sqlite3Shell(benchmark::State& st) {
    const QString sql = QStringLiteral(
        "SELECT d.*, c.name FROM determinations d JOIN calorimeters c ON c.id = d.calorimeter_id"
        " WHERE d.sample_code = 'S-04711' ORDER BY d.id DESC;\n");
    constexpr int kRepeats = 200;
    auto shell = [&](const QString& script, double* seconds) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("sqlite3"), {bigDatabase()});
        p.write((QStringLiteral(".output /dev/null\n") + script).toUtf8());
        p.closeWriteChannel();
        const bool ok = p.waitForFinished(60000) && p.exitCode() == 0;
        *seconds = t.nsecsElapsed() / 1e9;
        return ok;
    };
    for (auto _ : st) {
        double empty = 0, full = 0;
        if (!shell(QStringLiteral("SELECT 1;\n"), &empty) || !shell(sql.repeated(kRepeats), &full)) {
            st.SkipWithError("the sqlite3 shell did not run (apt-get install sqlite3)");
            return;
        }
        st.SetIterationTime(std::max(0.0, full - empty) / kRepeats);
    }
}
// A fixed count: each iteration starts the shell twice.
BENCHMARK(BM_ListOneSampleOf100000_Sqlite3Shell)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
