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

} // namespace emu
