#pragma once
// Memory images shipped in data/: three realistic calorimeter tests, a week of fourteen, and the short memory of
// the worked download example. Deterministic, so the committed files can be checked against them.
#include <QByteArray>

namespace emu {

QByteArray demoImage();
/// A lab's week in the logger: fourteen tests, twelve runs of benzoic acid then two samples.
QByteArray labWeekImage();
QByteArray workedExampleImage();

/// Raw logger value for a temperature in °C (inverse of raw × 5 / 1023 + 20).
quint16 rawFromCelsius(double celsius);

struct TestRecords;
/// One test as the demo's are made: `drift` samples before the firing (3 min), a rise of about
/// `rise` °C and slow cooling, `total` samples in all (14 min), 5 s apart (raw values), with its
/// maximum and minimum.
TestRecords demoTest(int number, double start, double rise, double jacket, quint32 seed, int drift = 36, int total = 168);

} // namespace emu
