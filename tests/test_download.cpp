// The memory download and its decoding, against the in-process logger model.
#include "acquisition/download.h"
#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"

#include <gtest/gtest.h>

using namespace acq;

namespace {

struct Listener : DownloadListener {
    QStringList tests;
    int steps = 0, maximum = -1, starts = 0, ends = 0;
    void clearTests() override { tests.clear(); }
    void testStarted(int n) override { tests << QStringLiteral("Ensaio %1").arg(n); }
    void progressStart(int max, int) override { maximum = max; ++starts; }
    void progressStep() override { ++steps; }
    void progressEnd() override { ++ends; }
};

struct Rig {
    emu::LoggerModel model;
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    lnk::SerialChannel channel{lib, clock};
    MeasurementTable table;
    Listener listener;
    explicit Rig(const QByteArray& image) : model(image) {
        lib.setClock(&clock); // answers arrive at the pace of the line, in recorded time
        channel.setPort(1);
        channel.openPort(1);
    }
    DownloadResult run() { return runDownload(channel, table, listener); }
    QList<QByteArray> blockRequests() const { return lib.requests.mid(2); }
};

struct Sample { int ensaio, sub; double tmax, tmin; };

QList<Sample> rowsOf(MeasurementTable& t) {
    t.setFiltered(false);
    t.setIndexFieldNames(field::Reg);
    QList<Sample> out;
    for (t.first(); !t.eof(); t.next())
        out << Sample{int(t.asInteger(field::Ensaio)), int(t.asInteger(field::SubReg)),
                      t.asFloat(field::TMax), t.asFloat(field::TMin)};
    t.setIndexFieldNames(field::SubReg);
    return out;
}

QList<quint16> test(int number, QList<quint16> samples, bool withEnd = true, quint16 max = 0x300,
                    quint16 min = 0x100) {
    emu::TestRecords r{number, {}, withEnd, max, min};
    for (quint16 s : samples)
        r.samples << std::pair{s, quint16(s - 0x10)};
    return r.words();
}

} // namespace

TEST(Download, WorkedExample) {
    Rig r(emu::workedExampleImage());
    ASSERT_EQ(r.run(), DownloadResult::Done);
    EXPECT_EQ(r.lib.requests, (QList<QByteArray>{":08F8\r\n", ":0300000002FB\r\n", ":0300020020DB\r\n"}));
    EXPECT_EQ(r.listener.tests, QStringList{"Ensaio 1"});
    EXPECT_EQ(r.listener.maximum, 68);
    EXPECT_EQ(r.listener.steps, 1);
    EXPECT_FALSE(r.table.saved());
    ASSERT_EQ(r.table.filter(), "Ensaio = 1");
    r.table.first();
    EXPECT_EQ(r.table.recordCount(), 2);
    const QStringList f{field::SubReg, field::Tempo, field::Tint, field::Text, field::TMax, field::TMin};
    auto shown = [&] {
        QStringList out;
        for (const QString& n : f) out << r.table.displayText(n);
        return out;
    };
    EXPECT_EQ(shown(), (QStringList{"1", "0.00", "22.444", "21.955", "22.581", "22.424"}));
    r.table.next();
    EXPECT_EQ(shown(), (QStringList{"2", "0.08", "22.502", "21.979", "0.000", "0.000"}));
    // Pauses: 7 + 15 + 15 paced characters and three 100 ms waits.
    EXPECT_EQ(r.clock.total(), 7 + 15 + 15 + 300);
}

TEST(Download, BlockBoundaries) {
    struct Case { int end; QList<QByteArray> blocks; } cases[] = {
        {4, {":0300020000FB\r\n"}},
        {5, {":0300020000FB\r\n"}},
        {68, {":0300020020DB\r\n"}},
        {100, {":0300020020DB\r\n", ":0300220010CB\r\n"}},
    };
    for (const auto& c : cases) {
        Rig r(emu::buildImage({}, 1, c.end));
        EXPECT_EQ(r.run(), DownloadResult::Done) << c.end;
        EXPECT_EQ(r.blockRequests(), c.blocks) << c.end;
        EXPECT_TRUE(r.listener.tests.isEmpty());
        EXPECT_TRUE(r.table.saved()); // nothing was stored
    }
    Rig full(emu::buildImage({}, 1, 32768));
    EXPECT_EQ(full.run(), DownloadResult::Done);
    const auto blocks = full.blockRequests();
    ASSERT_EQ(blocks.size(), 512);
    EXPECT_EQ(blocks.last(), lnk::cmd::readRequest(16354, 30));
    EXPECT_EQ(full.listener.steps, 512);
}

TEST(Download, HeaderBeyondTheMemoryReadsToItsEndAndFinishes) {
    Rig r(emu::buildImage(test(1, {0x200, 0x201}), 1, 0xFFFF));
    EXPECT_EQ(r.run(), DownloadResult::Done);
    const auto blocks = r.blockRequests();
    ASSERT_EQ(blocks.size(), 512);
    EXPECT_EQ(blocks.last(), lnk::cmd::readRequest(16354, 30));
    EXPECT_EQ(r.listener.tests, QStringList{"Ensaio 1"});
    EXPECT_EQ(r.table.recordCount(), 2);
}

TEST(Download, DataWithNoRoomForRecordsSendsNoBlock) {
    for (int end : {0, 1, 3}) {
        Rig r(emu::buildImage({}, 1, end));
        r.table.append();
        r.table.setValue(field::Ensaio, 9);
        r.table.post();
        EXPECT_EQ(r.run(), DownloadResult::InvalidContents) << end;
        EXPECT_TRUE(r.blockRequests().isEmpty());
        EXPECT_EQ(r.table.recordCount(), 1); // nothing changed
    }
}

TEST(Download, RecordCases) {
    struct Case {
        const char* name;
        QList<quint16> words;
        QStringList tests;
        QList<std::tuple<int, int, bool>> rows; // ensaio, subreg, has max/min
    } cases[] = {
        {"three samples", test(1, {0x200, 0x201, 0x202}), {"Ensaio 1"},
         {{1, 1, true}, {1, 2, false}, {1, 3, false}}},
        {"two tests", test(1, {0x200, 0x201}) + test(2, {0x210}), {"Ensaio 1", "Ensaio 2"},
         {{1, 1, true}, {1, 2, false}, {2, 1, true}}},
        {"no samples", test(1, {}), {"Ensaio 1"}, {}},
        {"minimum never comes", test(1, {0x200, 0x201}, false), {"Ensaio 1"},
         {{1, 1, false}, {1, 2, false}}},
        {"no start record", QList<quint16>{0x200, 0x100, 0x201, 0x101}, {}, {}},
        {"start inside a test", QList<quint16>{0xFFFF, 1, 0x200, 0x100} + test(2, {0x300}),
         {"Ensaio 1", "Ensaio 2"}, {{1, 1, false}, {2, 1, true}}},
        {"out of order numbers", test(7, {0x200}) + test(3, {0x210, 0x211}), {"Ensaio 7", "Ensaio 3"},
         {{7, 1, true}, {3, 1, true}, {3, 2, false}}},
        {"shared number", test(5, {0x200}) + test(5, {0x210}), {"Ensaio 5", "Ensaio 5"},
         {{5, 1, true}, {5, 1, true}}},
        {"test number in the low byte", QList<quint16>{0xFFFF, 0xAB04, 0x200, 0x100}, {"Ensaio 4"},
         {{4, 1, false}}},
    };
    for (const auto& c : cases) {
        Rig r(emu::buildImage(c.words));
        ASSERT_EQ(r.run(), DownloadResult::Done) << c.name;
        EXPECT_EQ(r.listener.tests, c.tests) << c.name;
        const auto rows = rowsOf(r.table);
        ASSERT_EQ(rows.size(), c.rows.size()) << c.name;
        for (int i = 0; i < rows.size(); ++i) {
            const auto [e, s, m] = c.rows[i];
            EXPECT_EQ(rows[i].ensaio, e) << c.name << " row " << i;
            EXPECT_EQ(rows[i].sub, s) << c.name << " row " << i;
            EXPECT_EQ(rows[i].tmax != 0, m) << c.name << " row " << i;
            EXPECT_EQ(rows[i].tmin != 0, m) << c.name << " row " << i;
        }
    }
}

TEST(Download, MaxAndMinLandOnTheirOwnTest) {
    Rig r(emu::buildImage(test(5, {0x200}, true, 0x300, 0x100) + test(5, {0x210}, true, 0x320, 0x120)));
    ASSERT_EQ(r.run(), DownloadResult::Done);
    const auto rows = rowsOf(r.table);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_DOUBLE_EQ(rows[0].tmax, rawToCelsius(0x300));
    EXPECT_DOUBLE_EQ(rows[1].tmax, rawToCelsius(0x320));
    EXPECT_DOUBLE_EQ(rows[1].tmin, rawToCelsius(0x120));
}

TEST(Download, SampleWhoseSecondWordIsTheEndMarkIsTakenAsTheMaximum) {
    Rig r(emu::buildImage({0xFFFF, 1, 0x200, 0x100, 0x250, 0xFCFC, 0x150, 0xFCFC, 0x260, 0x160}));
    ASSERT_EQ(r.run(), DownloadResult::Done);
    const auto rows = rowsOf(r.table);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_DOUBLE_EQ(rows[0].tmax, rawToCelsius(0x250));
    EXPECT_DOUBLE_EQ(rows[0].tmin, rawToCelsius(0x150));
}

TEST(Download, FailuresLeaveWhatTheyShould) {
    const QByteArray demo = emu::demoImage();
    struct Case { const char* name; emu::Faults faults; DownloadResult result; bool tableTouched; } cases[] = {
        {"silent", {.silent = true}, DownloadResult::CommunicationError, false},
        {"wrong LRC on block 2, every time", {.lastingBadLrcBlock = 2}, DownloadResult::CommunicationError, true},
        {"block 3 cut short, every time", {.lastingCutBlock = 3}, DownloadResult::CommunicationError, true},
        {"wrong line speed", {.requiredBaud = 9600}, DownloadResult::CommunicationError, false},
    };
    for (const auto& c : cases) {
        Rig r(demo);
        r.table.append();
        r.table.setValue(field::Ensaio, 99);
        r.table.post();
        r.lib.baud(1, 19200);
        r.model.faults = c.faults;
        EXPECT_EQ(r.run(), c.result) << c.name;
        EXPECT_EQ(r.listener.starts, r.listener.ends) << c.name; // progress window hidden
        if (c.tableTouched) {
            EXPECT_EQ(r.listener.tests, QStringList{"Ensaio 1"}) << c.name;
            r.table.setFiltered(false);
            EXPECT_GT(r.table.recordCount(), 0) << c.name; // rows read so far stay
            EXPECT_FALSE(r.table.locate(field::Ensaio, "99")) << c.name;
        } else {
            EXPECT_EQ(r.table.recordCount(), 1) << c.name;
        }
    }
}

namespace {
struct Row { qint64 ensaio, sub; double tempo, tint, text, tmax, tmin; };
bool operator==(const Row& a, const Row& b) {
    return std::tie(a.ensaio, a.sub, a.tempo, a.tint, a.text, a.tmax, a.tmin) ==
           std::tie(b.ensaio, b.sub, b.tempo, b.tint, b.text, b.tmax, b.tmin);
}
QList<Row> allRows(MeasurementTable& t) {
    t.setFiltered(false);
    t.setIndexFieldNames(field::Reg);
    QList<Row> out;
    for (t.first(); !t.eof(); t.next())
        out << Row{t.asInteger(field::Ensaio), t.asInteger(field::SubReg), t.asFloat(field::Tempo),
                   t.asFloat(field::Tint), t.asFloat(field::Text), t.asFloat(field::TMax),
                   t.asFloat(field::TMin)};
    return out;
}
} // namespace

TEST(Download, PassingFaultsAreSurvivedWithTheSameRows) {
    Rig clean(emu::demoImage());
    ASSERT_EQ(clean.run(), DownloadResult::Done);
    const QList<Row> expected = allRows(clean.table);
    const qsizetype cleanRequests = clean.lib.requests.size();
    struct Case { const char* name; emu::Faults faults; int extraRequests; } cases[] = {
        // Refused, then asked twice more: the block is taken when two answers in a row agree.
        {"one wrong LRC", {.badLrcBlock = 2}, 2},
        {"one answer cut before its CR LF", {.cutBlock = 3}, 2},
        {"one answer cut to 20 characters", {.cutBlock = 1, .cutLength = 20}, 2},
        // Still arriving when the 100 ms end: taken whole without asking again.
        {"one answer held back 60 ms", {.holdBlock = 2, .holdMs = 60}, 0},
        {"every answer held back 60 ms", {.delayMs = 60}, 0},
        {"every answer 80 ms late", {.delayMs = 80}, 0},
        // Nothing at all by then: asked again, and the late answer does not spoil the next one.
        {"one answer held back 250 ms", {.holdBlock = 4, .holdMs = 250}, -1},
    };
    for (const auto& c : cases) {
        Rig r(emu::demoImage());
        r.model.faults = c.faults;
        ASSERT_EQ(r.run(), DownloadResult::Done) << c.name;
        EXPECT_EQ(allRows(r.table), expected) << c.name;
        EXPECT_EQ(r.listener.tests, clean.listener.tests) << c.name;
        if (c.extraRequests >= 0)
            EXPECT_EQ(r.lib.requests.size(), cleanRequests + c.extraRequests) << c.name;
        else
            EXPECT_GT(r.lib.requests.size(), cleanRequests) << c.name;
    }
}

// A slow logger (every answer begins 10 … 80 ms after its request, with jitter) and one fault
// on any block: the download gives the rows of a clean one or fails, never other rows.
TEST(Download, SlowLoggerWithOneFaultNeverGivesOtherRows) {
    Rig clean(emu::demoImage());
    ASSERT_EQ(clean.run(), DownloadResult::Done);
    const QList<Row> expected = allRows(clean.table);
    const int blocks = static_cast<int>(clean.blockRequests().size());
    struct Fault { const char* name; emu::Faults f; };
    const Fault faults[] = {
        {"held back 60 ms", {.holdMs = 60}},   {"held back 150 ms", {.holdMs = 150}},
        {"held back 250 ms", {.holdMs = 250}}, {"held back 439 ms", {.holdMs = 439}},
        {"held back 700 ms", {.holdMs = 700}}, {"held back 950 ms", {.holdMs = 950}},
        {"cut short", {.cutBlock = -1}},       {"cut to 20", {.cutBlock = -1, .cutLength = 20}},
        {"wrong LRC", {.badLrcBlock = -1}},
    };
    int done = 0, failed = 0;
    for (int delay : {10, 30, 57, 80}) {
        for (const Fault& fault : faults) {
            for (int k : {1, 2, blocks / 2, blocks - 1, blocks}) {
                Rig r(emu::demoImage());
                r.model.faults = fault.f;
                r.model.faults.delayMs = delay;
                r.model.faults.jitterMs = 20;
                r.model.faults.jitterSeed = static_cast<unsigned>(delay * 1000 + k);
                if (fault.f.holdMs > 0)
                    r.model.faults.holdBlock = k;
                if (fault.f.cutBlock < 0)
                    r.model.faults.cutBlock = k;
                if (fault.f.badLrcBlock < 0)
                    r.model.faults.badLrcBlock = k;
                const DownloadResult res = r.run();
                const auto where = QStringLiteral("%1 on block %2, %3 ms late").arg(fault.name).arg(k).arg(delay);
                ASSERT_TRUE(res == DownloadResult::Done || res == DownloadResult::CommunicationError) << qPrintable(where);
                if (res == DownloadResult::Done) {
                    ++done;
                    EXPECT_EQ(allRows(r.table), expected) << qPrintable(where);
                } else {
                    // A logger later than the tries and their quiet can wait for may end the
                    // download; anything sooner must not.
                    if (fault.f.holdMs < 900)
                        ++failed;
                }
            }
        }
    }
    // One passing fault (an answer held back up to 700 ms) is survived with the clean rows.
    EXPECT_EQ(failed, 0);
    EXPECT_GT(done, 0);
}

// A late answer to an earlier request that arrives during the next exchange (a 03 answer
// carries no address) is never taken for that exchange's answer.
TEST(Download, AStaleAnswerIsNeverTakenForTheNextBlock) {
    Rig clean(emu::demoImage());
    ASSERT_EQ(clean.run(), DownloadResult::Done);
    const QList<Row> expected = allRows(clean.table);
    // Block 2's answer held back past its wait and the grace, then every answer 80 ms late.
    for (int hold : {520, 560, 620, 700, 900}) {
        Rig r(emu::demoImage());
        r.model.faults.delayMs = 80;
        r.model.faults.holdBlock = 2;
        r.model.faults.holdMs = hold;
        const DownloadResult res = r.run();
        ASSERT_TRUE(res == DownloadResult::Done || res == DownloadResult::CommunicationError) << hold;
        if (res == DownloadResult::Done) {
            EXPECT_EQ(allRows(r.table), expected) << hold;
        }
    }
}

TEST(Download, ExactAnswersOnly) {
    // A block answer for 2 registers, and the same with another byte count or glued to more.
    const QByteArray block = ":030401020304EF\r\n";
    ASSERT_TRUE(lnk::VerifyMessage(block));
    EXPECT_TRUE(lnk::cmd::blockResponseOk(block, 2));
    EXPECT_FALSE(lnk::cmd::blockResponseOk(block, 1));
    EXPECT_FALSE(lnk::cmd::blockResponseOk(block, 3));
    const QByteArray wrongCount = ":030601020304ED\r\n";
    ASSERT_TRUE(lnk::VerifyMessage(wrongCount));
    EXPECT_FALSE(lnk::cmd::blockResponseOk(wrongCount, 2));
    EXPECT_TRUE(lnk::cmd::headerResponseOk(block)); // 17 characters starting ":0304"
    EXPECT_FALSE(lnk::cmd::headerResponseOk(block + block));
    EXPECT_FALSE(lnk::cmd::blockResponseOk(block + block, 2));
    }

TEST(Download, LastingFaultsEndAfterThreeTries) {
    struct Case { const char* name; emu::Faults faults; QByteArray request; } cases[] = {
        {"silent", {.silent = true}, lnk::cmd::kDiagnosticsFrame},
        {"block 2 always with a wrong LRC", {.lastingBadLrcBlock = 2}, lnk::cmd::readRequest(34, 32)},
        {"block 1 always cut", {.cutLength = 40, .lastingCutBlock = 1}, lnk::cmd::readRequest(2, 32)},
    };
    for (const auto& c : cases) {
        Rig r(emu::demoImage());
        r.model.faults = c.faults;
        EXPECT_EQ(r.run(), DownloadResult::CommunicationError) << c.name;
        EXPECT_EQ(r.lib.requests.count(c.request), 3) << c.name;
        EXPECT_EQ(r.lib.requests.last(), c.request) << c.name; // nothing after the third try
    }
}

TEST(Download, HeaderProblems) {
    emu::LoggerModel empty(emu::buildImage({}, 0, 0x100));
    Rig r(empty.memory());
    r.table.append();
    r.table.setValue(field::Ensaio, 1);
    r.table.post();
    r.table.setSaved(false);
    EXPECT_EQ(r.run(), DownloadResult::MemoryEmpty);
    EXPECT_EQ(r.table.recordCount(), 0);
    EXPECT_TRUE(r.table.saved());
    EXPECT_EQ(r.lib.requests.size(), 2);

    EXPECT_EQ(decodeHeader(":0304GG004400B4\r\n"), std::nullopt);
    EXPECT_EQ(blockCount(2, 68), 32);
    EXPECT_EQ(blockCount(34, 100), 16);
    EXPECT_EQ(blockCount(2, 3), 0);
    EXPECT_FALSE(moreBlocks(2, 68));
    EXPECT_TRUE(moreBlocks(2, 69));
}

TEST(Download, DemoImageHoldsThreeRealisticTests) {
    Rig r(emu::demoImage());
    ASSERT_EQ(r.run(), DownloadResult::Done);
    EXPECT_EQ(r.listener.tests, (QStringList{"Ensaio 1", "Ensaio 2", "Ensaio 3"}));
    for (int n = 1; n <= 3; ++n) {
        r.table.setFilter(testFilter(n));
        r.table.setFiltered(true);
        r.table.first();
        const double tmax = r.table.asFloat(field::TMax), tmin = r.table.asFloat(field::TMin);
        EXPECT_GT(r.table.recordCount(), 100);
        EXPECT_GT(tmax - tmin, 1.5);
        EXPECT_LT(tmax - tmin, 2.6);
    }
}

TEST(MemoryClear, AnyValidFrameCountsAsSuccess) {
    Rig r(emu::demoImage());
    EXPECT_TRUE(clearMemory(r.channel));
    EXPECT_EQ(r.model.memory()[0], '\0');
    EXPECT_EQ(r.clock.pauses, QList<int>{100});
    // An answer still arriving when the wait ends is taken whole.
    r.model.faults.delayMs = 98;
    EXPECT_TRUE(clearMemory(r.channel));
    // A failed clear is never sent twice.
    r.model.faults.silent = true;
    const qsizetype before = r.lib.requests.size();
    EXPECT_FALSE(clearMemory(r.channel));
    EXPECT_EQ(r.lib.requests.size(), before + 1);
}

TEST(Download, ReportListsEveryTestApartAndWhatWasPassedOver) {
    // Test 5 twice (the second without samples, then once more), and a stray end mark in test 2.
    const QList<quint16> stray{0xFFFF, 2, 0x200, 0x100, 0x250, 0xFCFC, 0x201, 0x101, 0x300, 0xFCFC, 0x100, 0xFCFC};
    Rig r(emu::buildImage(test(5, {0x200, 0x201}) + test(5, {}) + stray + test(5, {0x220})));
    DownloadReport report;
    ASSERT_EQ(runDownload(r.channel, r.table, r.listener, &report), DownloadResult::Done);
    QStringList captions;
    QList<int> rows;
    for (const TestRun& t : report.tests) {
        captions << t.caption();
        rows << t.rows;
    }
    EXPECT_EQ(captions, (QStringList{"Ensaio 5", "Ensaio 5 (2)", "Ensaio 2", "Ensaio 5 (3)"}));
    EXPECT_EQ(rows, (QList<int>{2, 0, 1, 1}));
    EXPECT_EQ(report.tests[1].first, -1);
    ASSERT_EQ(report.warnings.size(), 1);
    EXPECT_TRUE(report.warnings[0].startsWith("Ensaio 2: marca de fim no meio do ensaio, depois da amostra 1"));
    // The file's view of the same rows: the test without samples has none to keep.
    QStringList fromRows;
    for (const TestRun& t : testRuns(r.table))
        fromRows << QStringLiteral("%1 %2").arg(t.caption()).arg(t.rows);
    EXPECT_EQ(fromRows, (QStringList{"Ensaio 2 1", "Ensaio 5 2", "Ensaio 5 (2) 1"}));
}
