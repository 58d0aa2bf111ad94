#include "tools/emulator/demoimage.h"

#include "tools/emulator/loggermodel.h"

#include <QList>
#include <algorithm>
#include <cmath>

namespace emu {

quint16 rawFromCelsius(double celsius) {
    const double raw = std::round((celsius - 20.0) * 1023.0 / 5.0);
    return static_cast<quint16>(std::clamp(raw, 0.0, 4000.0));
}

namespace {

// A small deterministic noise source, so the image is the same on every machine.
struct Lcg {
    quint32 state;
    double next() { // -0.5 … 0.5
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0 - 0.5;
    }
};

} // namespace

// One test: drift, ignition, a rise of about `rise` °C, slow cooling; samples 5 s apart.
TestRecords demoTest(int number, double start, double rise, double jacket, quint32 seed, int drift, int total) {
    Lcg noise{seed};
    TestRecords rec;
    rec.number = number;
    quint16 lo = 0xFFFF, hi = 0;
    for (int i = 0; i < total; ++i) {
        const double t = i * 5.0 / 60.0; // minutes
        double tin = start + 0.004 * t;
        if (i >= drift) {
            const double s = t - drift * 5.0 / 60.0;
            tin += rise * (1.0 - std::exp(-s / 1.1)) - 0.012 * s;
        }
        tin += 0.002 * noise.next();
        const double text = jacket + 0.01 * std::sin(t / 3.0) + 0.002 * noise.next();
        const quint16 rin = rawFromCelsius(tin);
        lo = std::min(lo, rin);
        hi = std::max(hi, rin);
        rec.samples << std::pair{rin, rawFromCelsius(text)};
    }
    rec.max = hi;
    rec.min = lo;
    return rec;
}

namespace {
void appendTest(QList<quint16>& words, int number, double start, double rise, double jacket, quint32 seed) {
    words << demoTest(number, start, rise, jacket, seed).words();
}
} // namespace

QByteArray demoImage() {
    QList<quint16> words;
    appendTest(words, 1, 22.10, 2.05, 21.80, 11u);
    appendTest(words, 2, 22.35, 1.92, 21.95, 23u);
    appendTest(words, 3, 21.90, 2.21, 21.70, 37u);
    return buildImage(words);
}

QByteArray labWeekImage() {
    // Twelve runs of benzoic acid (calibrations and check standards), then two samples: each
    // test its own run.
    QList<quint16> words;
    for (int i = 0; i < 14; ++i)
        appendTest(words, i + 1, 21.9 + 0.05 * (i % 5), i < 12 ? 2.05 + 0.002 * (i % 3) : 1.85 + 0.1 * (i - 12),
                   21.8 + 0.02 * (i % 4), 101u + 17u * static_cast<quint32>(i));
    return buildImage(words);
}

QByteArray workedExampleImage() {
    const QList<quint16> words{0xFFFF, 0x0001, 0x01F4, 0x0190, 0x0200, 0x0195,
                               0x0210, 0xFCFC, 0x01F0, 0xFCFC};
    QList<quint16> padded = words;
    while (padded.size() < 32)
        padded << 0x0000;
    return buildImage(padded, 1, 0x44);
}

} // namespace emu
