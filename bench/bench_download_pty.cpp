// The download's wall time against the emulator over a pseudo-terminal, beside the sum of the
// pauses the protocol demands: probe and header (15 + 7 paced characters, two 100 ms waits) and
// per block 15 paced characters and 100 ms.
// Usage: bench_download_pty [--reply-delay MS [--reply-jitter MS] ...] [IMAGE ...]; options are
// passed to the emulator, so a slow logger is measured the same way.
#include "acquisition/download.h"
#include "acquisition/memorydecoder.h"
#include "link/qtseriallibrary.h"
#include "tests/support.h"
#include "tools/emulator/loggermodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {
struct Quiet : acq::DownloadListener {
    void progressStart(int, int) override {}
    void progressStep() override { ++blocks; }
    void progressEnd() override {}
    int blocks = 0;
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList images, emulatorArgs;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a.startsWith(QLatin1String("--")) && i + 1 < argc)
            emulatorArgs << a << QString::fromLocal8Bit(argv[++i]);
        else
            images << a;
    }
    QTemporaryDir tmp;
    if (images.isEmpty()) {
        images << dataFile(QStringLiteral("demo.img"));
        const QString full = tmp.filePath(QStringLiteral("full.img"));
        QFile f(full);
        f.open(QIODevice::WriteOnly);
        f.write(emu::buildImage({}, 1, 32768));
        f.close();
        images << full;
    }
    for (const QString& image : images) {
        Emulator emu(image, emulatorArgs);
        if (!emu.ok())
            return 1;
        lnk::QtSerialLibrary lib;
        lnk::SystemClock clock;
        lnk::SerialChannel ch(lib, clock);
        lib.portMap().setDevice(1, emu.device());
        ch.openPort(1);
        ch.setBaudRate(1, 19200);
        acq::Measurements t;
        Quiet q;
        QElapsedTimer timer;
        timer.start();
        const auto r = downloadInto(ch, t, q);
        const double wall = timer.nsecsElapsed() / 1e6;
        const double pauses = 7 + 100 + 15 + 100 + q.blocks * (15 + 100);
        std::printf("%s%s: result %d, %d blocks, wall %.1f ms, pauses %.1f ms, overhead %.2f %%, ratio %.2f\n",
                    qPrintable(QFileInfo(image).fileName()),
                    emulatorArgs.isEmpty() ? "" : qPrintable(QLatin1Char(' ') + emulatorArgs.join(QLatin1Char(' '))),
                    int(r), q.blocks, wall, pauses, 100.0 * (wall - pauses) / pauses, wall / pauses);
    }
    return 0;
}
