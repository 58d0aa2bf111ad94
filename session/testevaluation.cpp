#include "session/testevaluation.h"

#include "session/messages.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>

namespace ses {

std::vector<eval::Sample> testSamples(const acq::Measurements& data, const acq::TestRun& test) {
    std::vector<eval::Sample> out;
    for (const int i : test.rows)
        if (const acq::Row& r = data.rows()[static_cast<size_t>(i)]; r.has(acq::ColTempo) && r.has(acq::ColTint))
            out.push_back({r.tempo, r.tint});
    std::stable_sort(out.begin(), out.end(), [](const eval::Sample& a, const eval::Sample& b) { return a.t < b.t; });
    return out;
}

std::ptrdiff_t nearestReading(const std::vector<eval::Sample>& samples, double minutes) {
    const auto it = std::lower_bound(samples.begin(), samples.end(), minutes,
                                     [](const eval::Sample& s, double m) { return s.t < m; });
    if (it == samples.begin())
        return 0;
    if (it == samples.end())
        return static_cast<std::ptrdiff_t>(samples.size()) - 1;
    const auto before = it - 1;
    return (minutes - before->t <= it->t - minutes ? before : it) - samples.begin();
}

eval::Periods snapToReadings(const std::vector<eval::Sample>& samples, const eval::Periods& p) {
    if (samples.empty())
        return p;
    auto at = [&](double m) { return std::isfinite(m) ? samples[nearestReading(samples, m)].t : m; };
    return {at(p.a), at(p.b), at(p.c), at(p.d)};
}

eval::Outcome evaluateSamples(const std::vector<eval::Sample>& samples, const acq::TestRun& test,
                              const EvaluationRequest& req) {
    if (samples.empty())
        return {std::nullopt, msg::TestWithoutSamples.arg(test.label())};
    const auto periods = req.periods ? std::optional(snapToReadings(samples, *req.periods)) : std::nullopt;
    eval::Outcome o = eval::evaluate(samples, req.method, periods, req.calorimetry, true);
    // A limit moved to its reading is shown moved, not silently.
    const auto moved = [](double x, double y) { return std::abs(x - y) > 0.01; }; // more than the 2 decimals shown
    if (o.result && periods &&
        (moved(periods->a, req.periods->a) || moved(periods->b, req.periods->b) || moved(periods->c, req.periods->c) ||
         moved(periods->d, req.periods->d)))
        o.result->periodsTyped = req.periods;
    return o;
}

eval::Outcome evaluateTest(const acq::Measurements& data, const acq::TestRun& test, const EvaluationRequest& req) {
    return evaluateSamples(testSamples(data, test), test, req);
}

QStringList resultWarnings(const eval::Result& r) { return r.warnings; }

QString resultSheet(const acq::TestRun& test, const eval::Result& r, const eval::Calorimetry& c) {
    QStringList out{QStringLiteral("Avaliação do %1").arg(test.caption())};
    auto add = [&](const QList<ResultLine>& lines) {
        for (const ResultLine& x : lines) {
            QString v = x.value;
            out << x.label + QLatin1Char('\t') + v.replace(QLatin1Char('.'), QLatin1Char(',')) + QLatin1Char('\t') + x.unit;
        }
    };
    add(resultLines(r));
    add(inputLines(c, r));
    for (const QString& w : resultWarnings(r))
        out << QStringLiteral("Aviso\t") + w;
    return out.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QString methodName(eval::Method m) {
    return m == eval::Method::Dickinson ? QStringLiteral("Dickinson") : QStringLiteral("Regnault-Pfaundler");
}

namespace {
bool decimalComma = false;
} // namespace

void useDecimalComma(bool on) { decimalComma = on; }

QString shownNumber(QString pointText) {
    if (decimalComma)
        pointText.replace(QLatin1Char('.'), QLatin1Char(','));
    return pointText;
}

QString fixed(double v, int decimals) {
    if (v == 0)
        v = 0; // no "-0.0000"
    return shownNumber(QString::number(v, 'f', decimals));
}

QString localTime(const QDateTime& utc) { return utc.toLocalTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")); }

namespace {
QString range(double lo, double hi) { return fixed(lo, 2) + QStringLiteral(" a ") + fixed(hi, 2); }
QString readings(int n) { return QStringLiteral("min (%1 leituras)").arg(n); }
} // namespace

QList<ResultLine> resultLines(const eval::Result& r) {
    QList<ResultLine> l;
    l << ResultLine{QStringLiteral("Método"), methodName(r.method), {}}
      << ResultLine{QStringLiteral("Períodos"), r.automatic ? QStringLiteral("automáticos") : QStringLiteral("informados"), {}}
      << ResultLine{QStringLiteral("Período inicial"), range(r.periods.a, r.periods.b), readings(r.countFore)}
      << ResultLine{QStringLiteral("Período principal"), range(r.periods.b, r.periods.c), readings(r.countMain)}
      << ResultLine{QStringLiteral("Período final"), range(r.periods.c, r.periods.d), readings(r.countAfter)};
    if (r.periodsTyped)
        l << ResultLine{QStringLiteral("Digitados (movidos às leituras)"),
                        QStringList{fixed(r.periodsTyped->a, 2), fixed(r.periodsTyped->b, 2), fixed(r.periodsTyped->c, 2),
                                    fixed(r.periodsTyped->d, 2)}
                            .join(QStringLiteral("; ")),
                        QStringLiteral("min")};
    l << ResultLine{QStringLiteral("θa (início do principal)"), fixed(r.thetaA, 4), QStringLiteral("°C")}
      << ResultLine{QStringLiteral("θc (fim do principal)"), fixed(r.thetaC, 4), QStringLiteral("°C")}
      << ResultLine{QStringLiteral("Deriva inicial"), fixed(r.driftFore, 4), QStringLiteral("K/min")}
      << ResultLine{QStringLiteral("Deriva final"), fixed(r.driftAfter, 4), QStringLiteral("K/min")};
    if (r.b)
        l << ResultLine{QStringLiteral("b (60 % da elevação)"), fixed(*r.b, 2), QStringLiteral("min")};
    l << ResultLine{QStringLiteral("Elevação observada"), fixed(r.riseObserved, 4), QStringLiteral("K")}
      << ResultLine{QStringLiteral("Elevação corrigida"), fixed(r.riseCorrected, 4), QStringLiteral("K")};
    using K = ResultLine::Kind;
    if (r.energyEquivalent)
        l << ResultLine{QStringLiteral("Equivalente energético"), fixed(*r.energyEquivalent, 1), QStringLiteral("J/K"), K::EnergyEquivalent};
    if (r.grossCalorificValue) {
        l << ResultLine{QStringLiteral("Poder calorífico superior"), fixed(*r.grossCalorificValue, 1), QStringLiteral("J/g"), K::CalorificValue}
          << ResultLine{QString(), fixed(*r.grossMJPerKg(), 3), QStringLiteral("MJ/kg"), K::CalorificValue}
          << ResultLine{QString(), fixed(*r.grossCalPerG(), 1), QStringLiteral("cal/g"), K::CalorificValue};
    }
    return l;
}

QList<ResultLine> inputLines(const eval::Calorimetry& c, const eval::Result& /*r*/) {
    using Mode = eval::Calorimetry::Mode;
    QList<ResultLine> l;
    if (c.mode == Mode::None)
        return l;
    l << ResultLine{QStringLiteral("Modo"), c.mode == Mode::Calibration ? QStringLiteral("Calibração") : QStringLiteral("Amostra"), {}};
    l << ResultLine{c.mode == Mode::Calibration ? QStringLiteral("Massa do padrão") : QStringLiteral("Massa da amostra"),
                    fixed(c.mass, 4), QStringLiteral("g")};
    // The energy equivalent used is listed once, with the results.
    if (c.mode == Mode::Calibration)
        l << ResultLine{QStringLiteral("Calor de combustão do padrão"), fixed(c.heatOfCombustion, 1), QStringLiteral("J/g")};
    l << ResultLine{QStringLiteral("Correção do fio"), fixed(c.fuse, 1), QStringLiteral("J")}
      << ResultLine{QStringLiteral("Correção ácida"), fixed(c.acid, 1), QStringLiteral("J")}
      << ResultLine{QStringLiteral("Correção de enxofre"), fixed(c.sulfur, 1), QStringLiteral("J")};
    if (c.aid != 0)
        l << ResultLine{QStringLiteral("Auxiliar de combustão"), fixed(c.aid, 1), QStringLiteral("J")};
    return l;
}

QString resultText(const acq::TestRun& test, const eval::Result& r, const eval::Calorimetry& c) {
    QStringList out{QStringLiteral("Avaliação do %1").arg(test.caption())};
    auto add = [&](const QList<ResultLine>& lines) {
        int width = 0;
        for (const ResultLine& x : lines)
            width = std::max(width, static_cast<int>(x.label.size()));
        for (const ResultLine& x : lines)
            out << (x.label.isEmpty() ? QString(width + 2, QLatin1Char(' ')) : (x.label + QLatin1Char(':')).leftJustified(width + 2)) +
                       x.value + (x.unit.isEmpty() ? QString() : QLatin1Char(' ') + x.unit);
    };
    add(resultLines(r));
    const auto inputs = inputLines(c, r);
    if (!inputs.isEmpty()) {
        out << QString() << QStringLiteral("Dados calorimétricos");
        add(inputs);
    }
    // What the result must be read with goes wherever the result goes.
    if (!r.warnings.isEmpty()) {
        out << QString() << QStringLiteral("Avisos");
        for (const QString& w : r.warnings)
            out << QStringLiteral("- ") + w;
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject resultJson(const acq::TestRun& test, const eval::Result& r) {
    QJsonObject o;
    o[QStringLiteral("test")] = test.number;
    if (test.occurrence > 1)
        o[QStringLiteral("occurrence")] = test.occurrence;
    o[QStringLiteral("method")] = eval::methodKey(r.method);
    o[QStringLiteral("automatic")] = r.automatic;
    QJsonObject p;
    p[QStringLiteral("fore")] = QJsonArray{r.periods.a, r.periods.b};
    p[QStringLiteral("main")] = QJsonArray{r.periods.b, r.periods.c};
    p[QStringLiteral("after")] = QJsonArray{r.periods.c, r.periods.d};
    o[QStringLiteral("periods")] = p;
    if (r.periodsTyped)
        o[QStringLiteral("periods_typed")] =
            QJsonArray{r.periodsTyped->a, r.periodsTyped->b, r.periodsTyped->c, r.periodsTyped->d};
    QJsonObject n;
    n[QStringLiteral("fore")] = r.countFore;
    n[QStringLiteral("main")] = r.countMain;
    n[QStringLiteral("after")] = r.countAfter;
    o[QStringLiteral("readings")] = n;
    o[QStringLiteral("warnings")] = QJsonArray::fromStringList(resultWarnings(r));
    o[QStringLiteral("theta_a")] = r.thetaA;
    o[QStringLiteral("theta_c")] = r.thetaC;
    o[QStringLiteral("drift_fore")] = r.driftFore;
    o[QStringLiteral("drift_after")] = r.driftAfter;
    o[QStringLiteral("mean_fore")] = r.meanFore;
    o[QStringLiteral("mean_after")] = r.meanAfter;
    o[QStringLiteral("rise_observed")] = r.riseObserved;
    o[QStringLiteral("rise_corrected")] = r.riseCorrected;
    if (r.b)
        o[QStringLiteral("b")] = *r.b;
    if (r.energyEquivalent)
        o[QStringLiteral("energy_equivalent")] = *r.energyEquivalent;
    if (r.grossCalorificValue)
        o[QStringLiteral("gross_calorific_value")] = *r.grossCalorificValue;
    return o;
}

} // namespace ses
