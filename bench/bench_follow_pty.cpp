// Following a test over a pseudo-terminal: the emulator records the synthetic run at --speed K
// while registrador-cli follow --json polls it every 5 s of the test's time. Measured: each
// reading's delay between the emulator storing it and the follower printing it (in the test's
// seconds), readings missed or doubled, and the share of the time the line was busy (every
// request and answer the emulator logs, at 19 200 baud, 10 bits a character).
// Usage: bench_follow_pty [SPEED ...]   (default: 20)
#include "tests/support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<double> speeds;
    for (int i = 1; i < argc; ++i)
        speeds << QString::fromLocal8Bit(argv[i]).toDouble();
    if (speeds.isEmpty())
        speeds << 20;
    std::printf("%8s %9s %10s %10s %8s %8s %9s\n", "speed", "readings", "max delay", "mean delay", "missed", "doubled",
                "line busy");
    for (const double speed : speeds) {
        QProcess emulator;
        emulator.start(binFile(QStringLiteral("registrador-emulador")),
                       {QStringLiteral("--record"), QStringLiteral("synthetic"), QStringLiteral("--speed"), QString::number(speed),
                        QStringLiteral("--log")});
        if (!emulator.waitForStarted(5000) || !emulator.waitForReadyRead(5000)) {
            std::fprintf(stderr, "the emulator did not start\n");
            return 1;
        }
        QElapsedTimer clock;
        clock.start(); // the emulator's recording began as it printed its terminal
        const QString device = QString::fromLocal8Bit(emulator.readLine()).trimmed();
        QProcess follow;
        follow.start(binFile(QStringLiteral("registrador-cli")),
                     {QStringLiteral("follow"), QStringLiteral("--device"), device, QStringLiteral("--json"), QStringLiteral("--poll-ms"),
                      QString::number(int(5000 / speed))});
        QSet<int> seen;
        int doubled = 0, readings = 0;
        double maxDelay = 0, sumDelay = 0;
        bool ended = false;
        while (!ended && follow.state() != QProcess::NotRunning) {
            follow.waitForReadyRead(1000);
            while (follow.canReadLine()) {
                const double now = clock.elapsed() / 1000.0 * speed; // the test's seconds
                const QJsonObject o = QJsonDocument::fromJson(follow.readLine()).object();
                if (o[QStringLiteral("event")] == QStringLiteral("evaluation"))
                    ended = true;
                if (o[QStringLiteral("event")] != QStringLiteral("reading"))
                    continue;
                const int sub = o[QStringLiteral("subreg")].toInt();
                if (seen.contains(sub))
                    ++doubled;
                seen << sub;
                ++readings;
                // Sample k (1-based) is stored 5·(k − 1) s into the test.
                const double delay = now - 5.0 * (sub - 1);
                maxDelay = std::max(maxDelay, delay);
                sumDelay += delay;
            }
        }
        follow.waitForFinished(10000);
        const double wall = clock.elapsed() / 1000.0;
        emulator.terminate();
        emulator.waitForFinished(3000);
        // "<- REQUEST-> ANSWER" a line: each with its CR LF on the line.
        qint64 characters = 0;
        for (const QByteArray& l : emulator.readAllStandardError().split('\n'))
            if (l.startsWith("<- ")) {
                const qsizetype arrow = l.indexOf("-> ");
                characters += (arrow - 3) + 2 + (l.size() - arrow - 3) + 2;
            }
        const int expected = seen.isEmpty() ? 0 : *std::max_element(seen.begin(), seen.end());
        std::printf("%8.0f %9d %9.2fs %9.2fs %8d %8d %8.1f%%\n", speed, readings, maxDelay,
                    readings ? sumDelay / readings : 0.0, expected - int(seen.size()), doubled,
                    100.0 * characters * 10 / 19200 / wall);
    }
    return 0;
}
