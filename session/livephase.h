#pragma once
// What a test still being recorded has come to: its phase in words, by the evaluation's own
// period rules, and the alarms a technician must hear while there is still time to act.
#include "evaluation/evaluation.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace ses {

struct LivePhase {
    enum class Stage { Waiting, Fore, Main, After, Complete };
    Stage stage = Stage::Waiting;
    QString text; ///< "Período inicial: deriva 0,004 K/min (estável)", "Ensaio completo: pode parar"…
    double foreDrift = 0; ///< K/min, while in the fore period
};

/// The lab's limits for the alarms.
struct LiveLimits {
    double foreDriftKPerMin = 0.01; ///< a fore drift above it is unsettled
    double noFiringMinutes = 10;    ///< no firing after a fore period this long
};

/// The phase of the readings so far (in increasing time).
LivePhase livePhase(const std::vector<eval::Sample>& samples, const LiveLimits& limits = {});
/// One alarm: what it is about (said once by whoever shows it), and its words.
struct LiveAlarm {
    enum class Kind { NoFiring, ForeDrift, ScaleEnd };
    Kind kind;
    QString text;
};
/// The alarms the readings so far raise.
QList<LiveAlarm> liveAlarms(const std::vector<eval::Sample>& samples, const LivePhase& phase, const LiveLimits& limits = {});

/// "5:10" for 5.1667 min.
QString minutesText(double minutes);

} // namespace ses
