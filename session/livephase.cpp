#include "session/livephase.h"

#include <algorithm>
#include <cmath>

namespace ses {

namespace {

// The slope of the readings by least squares, K/min.
double drift(const std::vector<eval::Sample>& s, std::size_t from, std::size_t to) {
    const double n = double(to - from);
    if (n < 2)
        return 0;
    double st = 0, sv = 0, stt = 0, stv = 0;
    for (std::size_t i = from; i < to; ++i) {
        st += s[i].t;
        sv += s[i].theta;
        stt += s[i].t * s[i].t;
        stv += s[i].t * s[i].theta;
    }
    const double d = n * stt - st * st;
    return d == 0 ? 0 : (n * stv - st * sv) / d;
}

// Where the curve has left the fore line for good: 10 logger steps above the line the readings
// up to there make; the index of the first such reading, or none.
std::optional<std::size_t> departure(const std::vector<eval::Sample>& s) {
    constexpr double kSteps = 10 * eval::kResolution;
    for (std::size_t i = 3; i < s.size(); ++i) {
        const double slope = drift(s, 0, i);
        double mean = 0, meanT = 0;
        for (std::size_t k = 0; k < i; ++k) {
            mean += s[k].theta;
            meanT += s[k].t;
        }
        mean /= double(i);
        meanT /= double(i);
        const double line = mean + slope * (s[i].t - meanT);
        // Lasting: this reading and the next (when there is one) both above.
        if (s[i].theta - line > kSteps && (i + 1 == s.size() || s[i + 1].theta - line > kSteps))
            return i;
    }
    return std::nullopt;
}

} // namespace

QString minutesText(double minutes) {
    const int seconds = int(std::lround(std::max(0.0, minutes) * 60));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

LivePhase livePhase(const std::vector<eval::Sample>& s, const LiveLimits& limits) {
    LivePhase p;
    if (s.size() < 3) {
        p.text = QStringLiteral("Aguardando as primeiras leituras");
        return p;
    }
    // Once the run has settled after its rise, the evaluation's own periods say where it is.
    QString why;
    if (const auto periods = eval::detectPeriods(s, &why)) {
        const double after = s.back().t - periods->c;
        if (after >= eval::kRecommendedSideMinutes - 1e-9) {
            p.stage = LivePhase::Stage::Complete;
            p.text = QStringLiteral("Ensaio completo: pode parar (queima às %1)").arg(minutesText(periods->b));
        } else {
            p.stage = LivePhase::Stage::After;
            p.text = QStringLiteral("Período final: %1 de %2 min").arg(minutesText(after), minutesText(eval::kRecommendedSideMinutes));
        }
        return p;
    }
    if (const auto i = departure(s)) {
        p.stage = LivePhase::Stage::Main;
        p.text = QStringLiteral("Queima detectada às %1; período principal").arg(minutesText(s[*i - 1].t));
        return p;
    }
    p.stage = LivePhase::Stage::Fore;
    p.foreDrift = drift(s, 0, s.size());
    p.text = QStringLiteral("Período inicial: deriva %1 K/min (%2)")
                 .arg(eval::decimal(p.foreDrift, 4),
                      std::abs(p.foreDrift) <= limits.foreDriftKPerMin ? QStringLiteral("estável") : QStringLiteral("instável"));
    return p;
}

QList<LiveAlarm> liveAlarms(const std::vector<eval::Sample>& s, const LivePhase& phase, const LiveLimits& limits) {
    QList<LiveAlarm> out;
    if (s.empty())
        return out;
    const double span = s.back().t - s.front().t;
    if (phase.stage == LivePhase::Stage::Fore && span >= limits.noFiringMinutes)
        out << LiveAlarm{LiveAlarm::Kind::NoFiring,
                         QStringLiteral("Sem queima após %1 min de período inicial: confira a ignição.").arg(minutesText(span))};
    if (phase.stage == LivePhase::Stage::Fore && span >= 2 && std::abs(phase.foreDrift) > limits.foreDriftKPerMin)
        out << LiveAlarm{LiveAlarm::Kind::ForeDrift,
                         QStringLiteral("Deriva do período inicial acima do limite (%1 K/min > %2 K/min): o calorímetro não "
                                        "está em equilíbrio.")
                             .arg(eval::decimal(phase.foreDrift, 4), eval::decimal(limits.foreDriftKPerMin, 4))};
    // The logger reads 20 … 25 °C: a reading at an end may hide a temperature beyond it.
    const double top = 20.0 + 1023 * eval::kResolution;
    for (const eval::Sample& x : s)
        if (x.theta >= top - 5 * eval::kResolution || x.theta <= 20.0 + 5 * eval::kResolution) {
            out << LiveAlarm{LiveAlarm::Kind::ScaleEnd,
                             QStringLiteral("Leitura perto do fim da escala do registrador (%1 °C às %2): a temperatura "
                                            "real pode ter passado do limite.")
                                 .arg(eval::decimal(x.theta, 3), minutesText(x.t))};
            break;
        }
    return out;
}

} // namespace ses
