// The memory download and its decoding, against the in-process logger model.
#include "acquisition/download.h"
#include "acquisition/follow.h"
#include "acquisition/memorydecoder.h"
#include "link/commands.h"
#include "link/framecodec.h"
#include "session/session.h"
#include "tests/support.h"
#include "tools/emulator/demoimage.h"
#include "tools/emulator/fakeseriallibrary.h"
#include "tools/emulator/recorder.h"

#include <gtest/gtest.h>
#include <random>

using namespace acq;

namespace {

struct Listener : DownloadListener {
    int steps = 0, maximum = -1, starts = 0, ends = 0;
    void progressStart(int max, int) override { maximum = max; ++starts; }
    void progressStep() override { ++steps; }
    void progressEnd() override { ++ends; }
};

struct Rig {
    emu::LoggerModel model;
    emu::FakeSerialLibrary lib{&model};
    RecordingClock clock;
    lnk::SerialChannel channel{lib, clock};
    Measurements data; ///< what the download left in hand
    QStringList warnings;
    QByteArray memory;
    Listener listener;
    explicit Rig(const QByteArray& image) : model(image) {
        lib.setClock(&clock); // answers arrive at the pace of the line, in recorded time
        channel.setPort(1);
        channel.openPort(1);
    }
    // As the session takes a download: the memory read decoded, unless nothing usable was read.
    DownloadResult run() {
        const MemoryRead m = readMemory(channel, listener);
        memory = m.bytes;
        if (!m.bytes.isEmpty() && m.result != DownloadResult::InvalidContents) {
            DecodedMemory d = decodeMemory(m.bytes);
            warnings = ses::strayEndMarkTexts(d.data, d.warnings);
            data = std::move(d.data);
        }
        return m.result;
    }
    QStringList tests() const {
        QStringList out;
        for (const TestRun& t : data.tests())
            out << t.caption();
        return out;
    }
    void putRow(int ensaio) {
        data.startTest(ensaio);
        data.addSample(Row{0, ensaio, 1});
    }
    QList<QByteArray> blockRequests() const { return lib.requests.mid(2); }
};

struct Sample { int ensaio, sub; double tmax, tmin; };

QList<Sample> rowsOf(const Measurements& m) {
    QList<Sample> out;
    for (const Row& r : m.rows())
        out << Sample{r.ensaio, r.subReg, r.tmax, r.tmin};
    return out;
}

// The rows of the k-th test listed, as the grid shows them.
QStringList shownRow(const Measurements& m, int test, int k) {
    const int r = m.inOrder(m.tests()[test])[static_cast<size_t>(k)];
    QStringList out;
    for (int c : {ColSubReg, ColTempo, ColTint, ColText, ColTMax, ColTMin})
        out << m.displayText(r, c);
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
    EXPECT_EQ(r.tests(), QStringList{"Ensaio 1"});
    EXPECT_EQ(r.listener.maximum, 68);
    EXPECT_EQ(r.listener.steps, 1);
    EXPECT_FALSE(r.data.saved());
    ASSERT_EQ(r.data.rowCount(), 2);
    EXPECT_EQ(shownRow(r.data, 0, 0), (QStringList{"1", "0.00", "22.444", "21.955", "22.581", "22.424"}));
    EXPECT_EQ(shownRow(r.data, 0, 1), (QStringList{"2", "0.08", "22.502", "21.979", "0.000", "0.000"}));
    // The memory as read: the header and the one block, 4 + 64 bytes from address 0.
    EXPECT_EQ(r.memory, emu::workedExampleImage().left(68));
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
        EXPECT_TRUE(r.tests().isEmpty());
        EXPECT_TRUE(r.data.saved()); // nothing was stored
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
    EXPECT_EQ(r.tests(), QStringList{"Ensaio 1"});
    EXPECT_EQ(r.data.rowCount(), 2);
    EXPECT_EQ(r.memory.size(), 32768);
}

TEST(Download, DataWithNoRoomForRecordsSendsNoBlock) {
    for (int end : {0, 1, 3}) {
        Rig r(emu::buildImage({}, 1, end));
        r.putRow(9);
        EXPECT_EQ(r.run(), DownloadResult::InvalidContents) << end;
        EXPECT_TRUE(r.blockRequests().isEmpty());
        EXPECT_EQ(r.data.rowCount(), 1); // nothing changed
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
        {"shared number", test(5, {0x200}) + test(5, {0x210}), {"Ensaio 5", "Ensaio 5 (2)"},
         {{5, 1, true}, {5, 1, true}}},
        {"test number in the low byte", QList<quint16>{0xFFFF, 0xAB04, 0x200, 0x100}, {"Ensaio 4"},
         {{4, 1, false}}},
    };
    for (const auto& c : cases) {
        Rig r(emu::buildImage(c.words));
        ASSERT_EQ(r.run(), DownloadResult::Done) << c.name;
        EXPECT_EQ(r.tests(), c.tests) << c.name;
        const auto rows = rowsOf(r.data);
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
    const auto rows = rowsOf(r.data);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_DOUBLE_EQ(rows[0].tmax, rawToCelsius(0x300));
    EXPECT_DOUBLE_EQ(rows[1].tmax, rawToCelsius(0x320));
    EXPECT_DOUBLE_EQ(rows[1].tmin, rawToCelsius(0x120));
}

TEST(Download, SampleWhoseSecondWordIsTheEndMarkIsTakenAsTheMaximum) {
    Rig r(emu::buildImage({0xFFFF, 1, 0x200, 0x100, 0x250, 0xFCFC, 0x150, 0xFCFC, 0x260, 0x160}));
    ASSERT_EQ(r.run(), DownloadResult::Done);
    const auto rows = rowsOf(r.data);
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
        r.putRow(99);
        r.lib.baud(1, 19200);
        r.model.faults = c.faults;
        EXPECT_EQ(r.run(), c.result) << c.name;
        EXPECT_EQ(r.listener.starts, r.listener.ends) << c.name; // progress window hidden
        if (c.tableTouched) {
            EXPECT_EQ(r.tests(), QStringList{"Ensaio 1"}) << c.name;
            EXPECT_GT(r.data.rowCount(), 0) << c.name; // rows read so far stay
            EXPECT_FALSE(r.data.testNumbers().contains(99)) << c.name;
        } else {
            EXPECT_EQ(r.data.testNumbers(), QList<qint64>{99}) << c.name;
        }
    }
}

namespace {
struct SampleRow { qint64 ensaio, sub; double tempo, tint, text, tmax, tmin; };
bool operator==(const SampleRow& a, const SampleRow& b) {
    return std::tie(a.ensaio, a.sub, a.tempo, a.tint, a.text, a.tmax, a.tmin) ==
           std::tie(b.ensaio, b.sub, b.tempo, b.tint, b.text, b.tmax, b.tmin);
}
QList<SampleRow> allRows(const Measurements& m) {
    QList<SampleRow> out;
    for (const acq::Row& r : m.rows())
        out << SampleRow{r.ensaio, r.subReg, r.tempo, r.tint, r.text, r.tmax, r.tmin};
    return out;
}
} // namespace

TEST(Download, PassingFaultsAreSurvivedWithTheSameRows) {
    Rig clean(emu::demoImage());
    ASSERT_EQ(clean.run(), DownloadResult::Done);
    const QList<SampleRow> expected = allRows(clean.data);
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
        // Nothing at all by then: a slow logger, listened for up to 1 s more before asking again.
        {"one answer held back 250 ms", {.holdBlock = 4, .holdMs = 250}, 0},
        {"every answer 150 ms late", {.delayMs = 150}, 0},
        {"every answer 400 ms late", {.delayMs = 400}, 0},
        // Nothing within that second: asked again, and the late answer does not spoil the next one.
        {"one answer held back 1.5 s", {.holdBlock = 4, .holdMs = 1500}, -1},
    };
    for (const auto& c : cases) {
        Rig r(emu::demoImage());
        r.model.faults = c.faults;
        ASSERT_EQ(r.run(), DownloadResult::Done) << c.name;
        EXPECT_EQ(allRows(r.data), expected) << c.name;
        EXPECT_EQ(r.tests(), clean.tests()) << c.name;
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
    const QList<SampleRow> expected = allRows(clean.data);
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
                    EXPECT_EQ(allRows(r.data), expected) << qPrintable(where);
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
    const QList<SampleRow> expected = allRows(clean.data);
    // Block 2's answer held back past its wait and the grace, then every answer 80 ms late.
    for (int hold : {520, 560, 620, 700, 900}) {
        Rig r(emu::demoImage());
        r.model.faults.delayMs = 80;
        r.model.faults.holdBlock = 2;
        r.model.faults.holdMs = hold;
        const DownloadResult res = r.run();
        ASSERT_TRUE(res == DownloadResult::Done || res == DownloadResult::CommunicationError) << hold;
        if (res == DownloadResult::Done) {
            EXPECT_EQ(allRows(r.data), expected) << hold;
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
    r.putRow(1);
    r.data.setSaved(false);
    EXPECT_EQ(r.run(), DownloadResult::MemoryEmpty);
    EXPECT_EQ(r.data.rowCount(), 0);
    EXPECT_TRUE(r.data.saved());
    EXPECT_EQ(r.lib.requests.size(), 2);

    EXPECT_EQ(decodeHeader(QByteArray("\x01\x00", 2)), std::nullopt);
    EXPECT_EQ(blockCount(2, 68), 32);
    EXPECT_EQ(blockCount(34, 100), 16);
    EXPECT_EQ(blockCount(2, 3), 0);
    EXPECT_FALSE(moreBlocks(2, 68));
    EXPECT_TRUE(moreBlocks(2, 69));
}

TEST(Download, DemoImageHoldsThreeRealisticTests) {
    Rig r(emu::demoImage());
    ASSERT_EQ(r.run(), DownloadResult::Done);
    EXPECT_EQ(r.tests(), (QStringList{"Ensaio 1", "Ensaio 2", "Ensaio 3"}));
    for (const TestRun& t : r.data.tests()) {
        const double tmax = r.data.firstRow(t)->tmax, tmin = r.data.firstRow(t)->tmin;
        EXPECT_GT(t.rows.size(), 100u);
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
    ASSERT_EQ(r.run(), DownloadResult::Done);
    QList<int> rows;
    for (const TestRun& t : r.data.tests())
        rows << static_cast<int>(t.rows.size());
    EXPECT_EQ(r.tests(), (QStringList{"Ensaio 5", "Ensaio 5 (2)", "Ensaio 2", "Ensaio 5 (3)"}));
    EXPECT_EQ(rows, (QList<int>{2, 0, 1, 1}));
    ASSERT_EQ(r.warnings.size(), 1);
    EXPECT_TRUE(r.warnings[0].startsWith("Ensaio 2: marca de fim no meio do ensaio, depois da amostra 1"));
    // The file's view of the same rows: the test without samples has none to keep.
    QStringList fromRows;
    for (const TestRun& t : testRuns(r.data.rows()))
        fromRows << QStringLiteral("%1 %2").arg(t.caption()).arg(t.rows.size());
    EXPECT_EQ(fromRows, (QStringList{"Ensaio 2 1", "Ensaio 5 2", "Ensaio 5 (2) 1"}));
}

// The bytes a download reads are the memory itself, and decoding them is the one way to tests:
// a dump decoded later gives exactly what the download gave, for memories of any shape,
// whole or cut at any block.
TEST(Download, DecodingTheMemoryGivesWhatTheDownloadGave) {
    std::mt19937 rng(20261209);
    int endedEarly = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int run = 0; run < 40; ++run) {
        QList<quint16> words;
        const int tests = pick(0, 4);
        for (int t = 0; t < tests; ++t) {
            emu::TestRecords r{pick(0, 255), {}, pick(0, 4) != 0, quint16(pick(0, 0x400)), quint16(pick(0, 0x400))};
            for (int s = pick(0, 60); s > 0; --s) // now and then a second word that is an end mark
                r.samples << std::pair{quint16(pick(0, 0x400)), quint16(pick(0, 40) == 0 ? 0xFCFC : pick(0, 0x400))};
            words += r.words();
        }
        for (int k = pick(0, 6); k > 0; --k) // stray words after the last test, or before a start
            words << quint16(pick(0, 0xFFFF));
        const QByteArray image = emu::buildImage(words, 1, std::min(4 + 2 * int(words.size()) + pick(0, 3), 32768));
        Rig r(image);
        if (run % 3 == 2)
            r.model.faults.lastingCutBlock = pick(1, 3); // the download ends early
        const DownloadResult res = r.run();
        const QString where = QStringLiteral("run %1").arg(run);
        ASSERT_TRUE(res == DownloadResult::Done || res == DownloadResult::CommunicationError) << qPrintable(where);
        endedEarly += res == DownloadResult::CommunicationError ? 1 : 0;
        const DecodedMemory d = decodeMemory(res == DownloadResult::Done ? image : r.memory);
        EXPECT_EQ(allRows(d.data), allRows(r.data)) << qPrintable(where);
        QStringList decoded;
        for (const TestRun& t : d.data.tests())
            decoded << t.caption();
        EXPECT_EQ(decoded, r.tests()) << qPrintable(where);
        EXPECT_EQ(ses::strayEndMarkTexts(d.data, d.warnings), r.warnings) << qPrintable(where);
        EXPECT_TRUE(image.startsWith(r.memory)) << qPrintable(where);
    }
    EXPECT_GT(endedEarly, 3);
}

// Following a test while the logger records it, in recorded time: every reading taken once, in
// order, whatever the memory held before, a record caught half-written, a logger silent for
// 30 s or the test ending between two polls; the memory read is then the one a download reads.
TEST(Follow, EveryReadingOnceWhateverTheLoggerDoes) {
    struct Case {
        const char* name;
        int before; // the memory holds 0: nothing, 1: closed tests, 2: a test left open (aborted)
        double joinAt;          // the view starts this many seconds into the test (0: before it)
        std::optional<int> halfWritten;
        double silentFrom, silentTo; // the logger does not answer (s of the test)
        double pollSeconds;
    } cases[] = {
        {"from an empty memory", 0, 0, {}, -1, -1, 5},
        {"after closed tests", 1, 0, {}, -1, -1, 5},
        {"after a test left open", 2, 0, {}, -1, -1, 5},
        {"joined mid-test", 1, 200, {}, -1, -1, 5},
        {"a record half-written", 0, 0, 40, -1, -1, 5},
        {"silent for 30 s", 1, 0, {}, 300, 330, 5},
        {"ending between polls", 0, 0, {}, -1, -1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emu::TestRecords aborted{7, {{0x200, 0x180}, {0x201, 0x180}}, false};
        const emu::TestRecords run = emu::syntheticRun(c.before == 1 ? 4 : c.before == 2 ? 8 : 1);
        Rig r(c.before == 1 ? emu::demoImage() : c.before == 2 ? emu::buildImage(aborted.words()) : QByteArray());
        emu::Recorder recorder(r.model, run);
        recorder.halfWrittenSample = c.halfWritten;
        double now = 0;
        // The second read of a poll comes 0,4 s later: a record half-written for 0,2 s is complete.
        r.clock.onPause = [&] { recorder.advanceTo(now + Follower::kConfirmMs / 1000.0); };
        recorder.advanceTo(c.joinAt);
        Follower f(r.channel, r.clock);
        int taken = 0, polls = 0;
        Follower::Poll p;
        for (now = c.joinAt; now < 3600; now += c.pollSeconds) {
            recorder.advanceTo(now);
            r.model.faults.silent = now >= c.silentFrom && now < c.silentTo;
            p = f.poll();
            ++polls;
            if (r.model.faults.silent) {
                EXPECT_EQ(p.state, Follower::Poll::State::LineFailed);
                continue;
            }
            ASSERT_NE(p.state, Follower::Poll::State::Invalid);
            ASSERT_NE(p.state, Follower::Poll::State::LineFailed);
            EXPECT_GE(p.newRows, 0);
            // A newer test begun after one left open is followed from its start.
            taken = p.switched ? p.newRows : taken + p.newRows;
            if (p.state == Follower::Poll::State::Ended)
                break;
        }
        ASSERT_EQ(p.state, Follower::Poll::State::Ended);
        EXPECT_EQ(taken, run.samples.size());
        // What was read is the memory a download reads: every test, row for row.
        const DecodedMemory read = decodeMemory(f.memory()), whole = decodeMemory(r.model.memory());
        ASSERT_EQ(read.data.rows().size(), whole.data.rows().size());
        for (size_t i = 0; i < whole.data.rows().size(); ++i) {
            EXPECT_EQ(read.data.rows()[i].subReg, whole.data.rows()[i].subReg);
            EXPECT_EQ(read.data.rows()[i].tint, whole.data.rows()[i].tint) << i;
            EXPECT_EQ(read.data.rows()[i].text, whole.data.rows()[i].text) << i;
        }
        ASSERT_TRUE(f.followed());
        EXPECT_EQ(read.data.tests()[size_t(*f.followed())].number, run.number);
        // The line is busy a small part of the time: header and new registers only.
        EXPECT_LT(f.registersRead(), 2 * polls + 2 * int(f.memory().size() / 2) + 64);
    }
}

// A memory that fills while the test records: the logger writes no more of it, and the
// follower says so instead of waiting for an end that never comes.
TEST(Follow, AMemoryThatFillsEndsTheFollowing) {
    emu::TestRecords big{1, {}, true};
    for (int i = 0; i < 8100; ++i)
        big.samples << std::pair<quint16, quint16>{0x200, 0x180};
    Rig r(emu::buildImage(big.words()));
    emu::Recorder recorder(r.model, emu::syntheticRun(2));
    Follower f(r.channel, r.clock);
    Follower::Poll p;
    for (double now = 0; now < 3600; now += 5) {
        recorder.advanceTo(now);
        p = f.poll();
        if (p.state != Follower::Poll::State::Following && p.state != Follower::Poll::State::Waiting)
            break;
    }
    EXPECT_EQ(p.state, Follower::Poll::State::MemoryFull);
    ASSERT_TRUE(f.followed());
    EXPECT_EQ(f.decoded().data.tests()[size_t(*f.followed())].number, 2);
}
