// The evaluation of a run: hand-worked small runs, refusals, automatic periods on synthetic
// runs with a known answer, the plausibility checks on crafted runs, a small accuracy campaign,
// and the energy equivalent / calorific value round trip.
#include "evaluation/evaluation.h"
#include "evaluation/campaign.h"
#include "evaluation/labinputs.h"
#include "evaluation/synthetic.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace eval;

namespace {

std::vector<Sample> run(std::initializer_list<double> times, std::initializer_list<double> thetas,
                        double shift = 0) {
    std::vector<Sample> s;
    auto q = thetas.begin();
    for (double t : times)
        s.push_back({t + shift, *q++});
    return s;
}

// Run 1: minutes 0..10, fore 0–2 rising 0.01 K/min, after 7–10 falling 0.01 K/min.
std::vector<Sample> run1(double shift = 0) {
    return run({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
               {20.00, 20.01, 20.02, 20.50, 21.40, 21.80, 21.95, 22.00, 21.99, 21.98, 21.97},
               shift);
}

// Run 2: uneven spacing, both drifts negative (the jacket cooler than the bucket).
std::vector<Sample> run2(double shift = 0) {
    return run({0, 0.5, 1.5, 2.0, 3.0, 4.5, 6.0, 7.0, 8.5},
               {22.30, 22.29, 22.27, 22.60, 23.80, 24.40, 24.50, 24.47, 24.44}, shift);
}

struct HandCase {
    const char* name;
    std::vector<Sample> samples;
    Periods periods;
    Method method;
    // Expected, worked by hand in exact fractions.
    double driftFore, meanFore, driftAfter, meanAfter;
    double ta, thetaA, tc, thetaC;
    int countFore, countMain, countAfter;
    double riseCorrected;
    std::optional<double> b;
};

// Run 1: gi = 0.01, θi = 20.01, gf = −0.01, θf = 21.985; main 2..7, θa = 20.02, θc = 22.00,
// L = 5, I = (20.02 + 22.00)/2 + 20.50 + 21.40 + 21.80 + 21.95 = 106.66.
//   RP: 1.98 − (0.05 − 0.02/1.975 · (106.66 − 100.05)) = 78879/39500.
//   Dickinson: level 21.208 between 20.50 (t 3) and 21.40 (t 4): b = 3 + 0.708/0.9 = 284/75;
//   1.98 − 0.01·(b − 2) + 0.01·(7 − b) = 14957/7500.
// Run 2: gi = −0.02, θi = 3343/150, gf = −9/380, θf = 24.47; main 1.5..6, θa = 22.27,
// θc = 24.50, L = 4.5, I = 42897/400.
//   RP: 11607361/4978000.  Dickinson: level 23.608, b = 2 + 1.008/1.2 = 2.84; 110753/47500.
std::vector<HandCase> handCases() {
    const Periods p1{0, 2, 7, 10}, p2{0, 1.5, 6, 8.5};
    const auto rp = Method::RegnaultPfaundler;
    const auto dk = Method::Dickinson;
    const double t600 = 600; // late in a long memory: sums must not lose the small differences
    return {
        {"Run1RP", run1(), p1, rp, 0.01, 20.01, -0.01, 21.985, 2, 20.02, 7, 22.00, 3, 6, 4,
         78879.0 / 39500, std::nullopt},
        {"Run1Dickinson", run1(), p1, dk, 0.01, 20.01, -0.01, 21.985, 2, 20.02, 7, 22.00, 3, 6, 4,
         14957.0 / 7500, 284.0 / 75},
        // Limits off the sample times by less than the tolerance, or outside the data.
        {"Run1RPLimitsWithinTolerance", run1(), {-0.5, 2 + 5e-10, 7 - 5e-10, 12}, rp, 0.01,
         20.01, -0.01, 21.985, 2, 20.02, 7, 22.00, 3, 6, 4, 78879.0 / 39500, std::nullopt},
        {"Run1RPLate", run1(t600), {t600, t600 + 2, t600 + 7, t600 + 10}, rp, 0.01, 20.01, -0.01,
         21.985, t600 + 2, 20.02, t600 + 7, 22.00, 3, 6, 4, 78879.0 / 39500, std::nullopt},
        {"Run1DickinsonLate", run1(t600), {t600, t600 + 2, t600 + 7, t600 + 10}, dk, 0.01, 20.01,
         -0.01, 21.985, t600 + 2, 20.02, t600 + 7, 22.00, 3, 6, 4, 14957.0 / 7500,
         t600 + 284.0 / 75},
        {"Run2RP", run2(), p2, rp, -0.02, 3343.0 / 150, -9.0 / 380, 24.47, 1.5, 22.27, 6, 24.50,
         3, 5, 3, 11607361.0 / 4978000, std::nullopt},
        {"Run2Dickinson", run2(), p2, dk, -0.02, 3343.0 / 150, -9.0 / 380, 24.47, 1.5, 22.27, 6,
         24.50, 3, 5, 3, 110753.0 / 47500, 2.84},
    };
}

class HandWorked : public testing::TestWithParam<HandCase> {};

TEST_P(HandWorked, MatchesTheHandComputation) {
    const HandCase& c = GetParam();
    const Outcome o = evaluate(c.samples, c.method, c.periods);
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    const Result& r = *o.result;
    constexpr double eps = 1e-9;
    EXPECT_FALSE(r.automatic);
    EXPECT_EQ(r.method, c.method);
    EXPECT_NEAR(r.driftFore, c.driftFore, eps);
    EXPECT_NEAR(r.meanFore, c.meanFore, eps);
    EXPECT_NEAR(r.driftAfter, c.driftAfter, eps);
    EXPECT_NEAR(r.meanAfter, c.meanAfter, eps);
    EXPECT_DOUBLE_EQ(r.ta, c.ta);
    EXPECT_DOUBLE_EQ(r.thetaA, c.thetaA);
    EXPECT_DOUBLE_EQ(r.tc, c.tc);
    EXPECT_DOUBLE_EQ(r.thetaC, c.thetaC);
    EXPECT_EQ(r.countFore, c.countFore);
    EXPECT_EQ(r.countMain, c.countMain);
    EXPECT_EQ(r.countAfter, c.countAfter);
    EXPECT_NEAR(r.riseObserved, c.thetaC - c.thetaA, eps);
    EXPECT_NEAR(r.riseCorrected, c.riseCorrected, eps);
    ASSERT_EQ(r.b.has_value(), c.b.has_value());
    if (c.b) {
        EXPECT_NEAR(*r.b, *c.b, eps);
    }
    EXPECT_FALSE(r.energyEquivalent);
    EXPECT_FALSE(r.grossCalorificValue);
}

INSTANTIATE_TEST_SUITE_P(Evaluation, HandWorked, testing::ValuesIn(handCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Evaluation, DickinsonLevelOnASampleTakesThatSamplesTime) {
    // θa = 20, θc = 22.5: the 60 % level 21.5 is exactly the third main sample.
    const auto s = run({0, 1, 2, 3, 4, 5, 6, 7, 8}, {20, 20, 20, 21, 21.5, 22.4, 22.5, 22.5, 22.5});
    const Outcome o = evaluate(s, Method::Dickinson, Periods{0, 2, 6, 8});
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    EXPECT_DOUBLE_EQ(*o.result->b, 4.0);
    EXPECT_DOUBLE_EQ(o.result->riseCorrected, 2.5); // no drift on either side
}

struct Refusal {
    const char* name;
    std::vector<Sample> samples;
    std::optional<Periods> periods;
    Method method;
    QString error;
};

std::vector<Refusal> refusals() {
    const auto rp = Method::RegnaultPfaundler;
    const auto dk = Method::Dickinson;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QString order = QStringLiteral(
        "Os tempos dos períodos devem ser números válidos em ordem crescente (A < B < C < D).");
    // Fore mean 20.5 and after mean 20.5: no temperature difference to scale the drifts by.
    const auto sameMeans = run({0, 1, 2, 3, 4, 5, 6}, {20.0, 20.5, 21.0, 21.2, 21.0, 20.5, 20.0});
    return {
        {"NoSamples", {}, Periods{0, 1, 2, 3}, rp, QStringLiteral("Não há amostras para avaliar.")},
        {"TimesNotIncreasing", run({0, 1, 1, 2}, {20, 20, 20, 20}), Periods{0, 1, 2, 3}, rp,
         QStringLiteral("Os tempos das amostras devem ser crescentes.")},
        {"TimesDecreasing", run({0, 2, 1, 3}, {20, 20, 20, 20}), std::nullopt, dk,
         QStringLiteral("Os tempos das amostras devem ser crescentes.")},
        {"TemperatureNaN", run({0, 1, 2}, {20, nan, 20}), Periods{0, 1, 2, 3}, rp,
         QStringLiteral("Há amostras com tempo ou temperatura inválidos.")},
        {"PeriodsBBeforeA", run1(), Periods{2, 0, 7, 10}, rp, order},
        {"PeriodsCEqualsB", run1(), Periods{0, 2, 2, 10}, dk, order},
        {"PeriodsDBeforeC", run1(), Periods{0, 2, 7, 6}, rp, order},
        {"PeriodNaN", run1(), Periods{0, 2, nan, 10}, rp, order},
        {"ForeTwoSamples", run1(), Periods{0.5, 2, 7, 10}, rp,
         QStringLiteral("O período inicial precisa de pelo menos 3 amostras (tem 2).")},
        {"MainOneSample", run1(), Periods{0, 2.5, 3.5, 10}, dk,
         QStringLiteral("O período principal precisa de pelo menos 2 amostras (tem 1).")},
        {"MainNoSample", run1(), Periods{0, 2.2, 2.8, 10}, rp,
         QStringLiteral("O período principal precisa de pelo menos 2 amostras (tem 0).")},
        {"AfterTwoSamples", run1(), Periods{0, 2, 8.5, 10}, dk,
         QStringLiteral("O período final precisa de pelo menos 3 amostras (tem 2).")},
        {"AfterOutsideData", run1(), Periods{0, 2, 10.5, 12}, rp,
         QStringLiteral("O período final precisa de pelo menos 3 amostras (tem 0).")},
        {"EqualMeansRP", sameMeans, Periods{0, 2, 4, 6}, rp,
         QStringLiteral("As temperaturas médias dos períodos inicial e final são iguais; o método "
                        "de Regnault-Pfaundler não se aplica.")},
    };
}

class Refused : public testing::TestWithParam<Refusal> {};

TEST_P(Refused, GivesTheReason) {
    const Refusal& c = GetParam();
    const Outcome o = evaluate(c.samples, c.method, c.periods);
    EXPECT_FALSE(o.ok());
    EXPECT_EQ(o.error.toStdString(), c.error.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Evaluation, Refused, testing::ValuesIn(refusals()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Evaluation, EqualMeansStillAllowDickinson) {
    const auto s = run({0, 1, 2, 3, 4, 5, 6}, {20.0, 20.5, 21.0, 21.2, 21.0, 20.5, 20.0});
    const Outcome o = evaluate(s, Method::Dickinson, Periods{0, 2, 4, 6});
    EXPECT_TRUE(o.ok()) << o.error.toStdString();
}

TEST(Evaluation, MainPeriodWithTwoSamplesIsEnough) {
    const Outcome o = evaluate(run1(), Method::RegnaultPfaundler, Periods{0, 2, 3, 10});
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    EXPECT_EQ(o.result->countMain, 2);
}

TEST(Evaluation, MethodKeys) {
    for (Method m : {Method::RegnaultPfaundler, Method::Dickinson})
        EXPECT_EQ(methodFromKey(methodKey(m)), m);
    EXPECT_EQ(methodKey(Method::RegnaultPfaundler), QStringLiteral("regnault-pfaundler"));
    EXPECT_EQ(methodKey(Method::Dickinson), QStringLiteral("dickinson"));
    EXPECT_FALSE(methodFromKey(u"Dickinson"));
}

// ---- The synthetic run ----

struct OdeCase {
    const char* name;
    SyntheticRun run;
};

std::vector<OdeCase> odeCases() {
    auto make = [](double theta0, double jacket, double k, double tf, double rise, double tau) {
        SyntheticRun r;
        r.theta0 = theta0, r.jacket = jacket, r.k = k, r.firing = tf, r.rise = rise, r.tau = tau;
        return r;
    };
    return {
        {"JacketWarmer", make(20.5, 24.0, 0.004, 5, 3, 1)},
        {"JacketCooler", make(22.0, 20.0, 0.01, 6, 2.5, 0.6)},
        {"NoExchange", make(21.0, 25.0, 0.0, 4, 3, 1.2)},
        {"EqualRates", make(21.0, 23.0, 0.5, 4, 3, 2.0)}, // k·τ = 1
        {"NearlyEqualRates", make(21.0, 23.0, 0.5 + 1e-9, 4, 3, 2.0)},
    };
}

class SyntheticOde : public testing::TestWithParam<OdeCase> {};

// The closed form solves dθ/dt = k(Tj − θ) + R/τ·e^(−(t−tf)/τ) and starts from θ0.
TEST_P(SyntheticOde, ClosedFormSolvesTheExchangeEquation) {
    const SyntheticRun& r = GetParam().run;
    EXPECT_DOUBLE_EQ(syntheticTheta(r, 0), r.theta0);
    const double h = 1e-4;
    for (double t : {0.5, 2.0, r.firing - 0.3, r.firing + 0.01, r.firing + 0.7, r.firing + 3.0,
                     r.firing + 12.0}) {
        const double slope = (syntheticTheta(r, t + h) - syntheticTheta(r, t - h)) / (2 * h);
        const double heat = t > r.firing ? r.rise / r.tau * std::exp(-(t - r.firing) / r.tau) : 0;
        EXPECT_NEAR(slope, r.k * (r.jacket - syntheticTheta(r, t)) + heat, 1e-6) << "t=" << t;
    }
    // Continuous through the firing.
    EXPECT_NEAR(syntheticTheta(r, r.firing + 1e-9), syntheticTheta(r, r.firing - 1e-9), 1e-8);
}

INSTANTIATE_TEST_SUITE_P(Synthetic, SyntheticOde, testing::ValuesIn(odeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Synthetic, WithoutExchangeTheRiseIsTheAdiabaticOne) {
    SyntheticRun r;
    r.k = 0, r.theta0 = 21, r.rise = 3, r.tau = 0.8, r.firing = 5;
    EXPECT_NEAR(syntheticTheta(r, 5 + 0.8), 21 + 3 * (1 - std::exp(-1.0)), 1e-12);
    EXPECT_NEAR(syntheticTheta(r, 5 + 40), 24, 1e-12);
}

TEST(Synthetic, SamplesEveryFiveSecondsOnRawSteps) {
    SyntheticRun r;
    r.duration = 20;
    const SyntheticData d = makeSyntheticRun(r);
    ASSERT_EQ(d.samples.size(), 241u); // 0 to 20 min inclusive
    ASSERT_EQ(d.raw.size(), d.samples.size());
    EXPECT_EQ(d.adiabaticRise, r.rise);
    EXPECT_EQ(d.firingTime, r.firing);
    for (std::size_t i = 0; i < d.samples.size(); ++i) {
        EXPECT_DOUBLE_EQ(d.samples[i].t, i * 5.0 / 60.0);
        EXPECT_EQ(d.samples[i].theta, d.raw[i] * 5 / 1023.0 + 20.0);
        EXPECT_LE(std::abs(d.samples[i].theta - syntheticTheta(r, d.samples[i].t)),
                  kResolution / 2 + 1e-12);
    }
    r.quantise = false;
    const SyntheticData exact = makeSyntheticRun(r);
    EXPECT_EQ(exact.samples[100].theta, syntheticTheta(r, exact.samples[100].t));
}

TEST(Synthetic, RawValuesAreClamped) {
    EXPECT_EQ(celsiusRaw(19.0), 0);
    EXPECT_EQ(celsiusRaw(26.0), 1023);
    EXPECT_EQ(celsiusRaw(20.0 + 5.0 * 512 / 1023), 512);
}

// ---- Automatic periods ----

struct AutoCase {
    const char* name;
    double theta0, jacket, k, firing, tau, rise;
    double duration = 0; // 0: long enough for a full after period
};

std::vector<AutoCase> autoCases() {
    return {
        // Jacket warmer than the bucket throughout: both drifts positive.
        {"WarmerJacketFast", 20.5, 24.8, 0.003, 4.5, 0.5, 3.0},
        {"WarmerJacketSlow", 20.3, 24.5, 0.005, 6.0, 1.2, 3.2},
        {"WarmerJacketStrong", 20.6, 24.9, 0.008, 5.2, 0.8, 2.8},
        // Jacket cooler throughout: both drifts negative.
        {"CoolerJacketFast", 22.0, 20.2, 0.004, 5.0, 0.6, 2.5},
        {"CoolerJacketSlow", 21.5, 20.0, 0.006, 7.5, 1.0, 3.0},
        {"CoolerJacketStrong", 21.6, 20.0, 0.008, 4.0, 0.7, 2.7},
        // Jacket between: the fore period warms, the after period cools.
        {"JacketBetween", 20.8, 22.3, 0.002, 4.0, 1.3, 3.0},
        {"JacketBetweenLateFiring", 21.0, 22.5, 0.005, 9.25, 0.5, 2.8},
        {"NoExchange", 21.0, 21.0, 0.0, 5.5, 0.9, 3.0},
        // The data end 3 min into the after period.
        {"ShortAfterPeriod", 20.8, 22.5, 0.004, 5.0, 0.8, 3.0, 5.0 + 8 * 0.8 + 3},
        // The logger left recording for hours after the test.
        {"LongRecordAfterTheTest", 20.6, 22.0, 0.003, 6.0, 1.0, 2.8, 600},
    };
}

class AutomaticPeriods : public testing::TestWithParam<AutoCase> {};

TEST_P(AutomaticPeriods, FindTheFiringAndTheAdiabaticRise) {
    const AutoCase& c = GetParam();
    SyntheticRun r;
    r.theta0 = c.theta0, r.jacket = c.jacket, r.k = c.k, r.firing = c.firing, r.tau = c.tau;
    r.rise = c.rise;
    r.duration = c.duration > 0 ? c.duration : c.firing + 8 * c.tau + 8;
    const SyntheticData d = makeSyntheticRun(r);
    for (quint16 raw : d.raw) // the run must stay within the logger's range
        ASSERT_TRUE(raw > 0 && raw < 1023);

    QString why;
    const auto p = detectPeriods(d.samples, &why);
    ASSERT_TRUE(p) << why.toStdString();
    // The firing is never taken late (the heat released before it would be lost), and at
    // most a few readings early.
    EXPECT_LE(p->b, d.firingTime);
    EXPECT_GT(p->b, d.firingTime - 0.25);
    // The main period lasts until the release is over, and the side periods are as long as
    // the data allow up to 10 min.
    EXPECT_GT(p->c, d.firingTime + 6 * c.tau);
    EXPECT_DOUBLE_EQ(p->a, std::max(0.0, p->b - 10));
    EXPECT_DOUBLE_EQ(p->d, std::min(d.samples.back().t, p->c + 10));

    for (Method m : {Method::RegnaultPfaundler, Method::Dickinson}) {
        const Outcome o = evaluate(d.samples, m);
        ASSERT_TRUE(o.ok()) << o.error.toStdString();
        EXPECT_TRUE(o.result->automatic);
        EXPECT_DOUBLE_EQ(o.result->periods.b, p->b);
        EXPECT_DOUBLE_EQ(o.result->periods.c, p->c);
        EXPECT_NEAR(o.result->riseCorrected, d.adiabaticRise, 0.005 * d.adiabaticRise)
            << methodKey(m).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Evaluation, AutomaticPeriods, testing::ValuesIn(autoCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct NoRise {
    const char* name;
    std::vector<Sample> samples;
    QString error;
};

std::vector<NoRise> noRises() {
    const QString noMain =
        QStringLiteral("Não foi possível identificar o período principal do ensaio.");
    auto quantised = [](auto theta, double minutes) {
        std::vector<Sample> s;
        for (int sub = 1; loggerMinutes(sub) <= minutes; ++sub) {
            const double t = loggerMinutes(sub);
            s.push_back({t, rawCelsius(celsiusRaw(theta(t)))});
        }
        return s;
    };
    SyntheticRun cut; // fired at 6 min, the data end 2 min later
    cut.duration = 8;
    SyntheticRun early; // fired 10 s after the start
    early.firing = 1.0 / 6;
    return {
        {"Flat", quantised([](double) { return 21.5; }, 25), noMain},
        {"FlatWithOneStepJitter",
         quantised([](double t) { return 21.5 + kResolution * std::sin(7 * t); }, 25), noMain},
        {"SteadyFastDrift", quantised([](double t) { return 20.5 + 0.08 * t; }, 25), noMain},
        {"SmallBump", quantised([](double t) { return t > 6 ? 21.05 : 21.0; }, 25), noMain},
        {"TooFewSamples", quantised([](double) { return 21.5; }, 0.4), noMain},
        {"EndsDuringTheRise", makeSyntheticRun(cut).samples,
         QStringLiteral("O ensaio termina antes de a temperatura se estabilizar após a queima.")},
        {"FiredAtTheStart", makeSyntheticRun(early).samples,
         QStringLiteral("Não há amostras suficientes antes da queima.")},
    };
}

class NoClearRise : public testing::TestWithParam<NoRise> {};

TEST_P(NoClearRise, IsRefused) {
    const NoRise& c = GetParam();
    QString why;
    EXPECT_FALSE(detectPeriods(c.samples, &why));
    EXPECT_EQ(why, c.error);
    for (Method m : {Method::RegnaultPfaundler, Method::Dickinson}) {
        const Outcome o = evaluate(c.samples, m);
        EXPECT_FALSE(o.ok());
        EXPECT_EQ(o.error, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Evaluation, NoClearRise, testing::ValuesIn(noRises()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Plausibility ----

namespace cmp = eval::campaign;

// A run read by the logger as the campaign reads it (whole raw steps, rounded down), from its
// parameters; the firing at `fore` min, the data ending `after` min past 99.9 % of the release.
cmp::Run quantisedRun(double rise, double offset, double k, double tau, double fore, double after,
                      double theta0, cmp::Reading reading = cmp::Reading::Steps,
                      std::uint64_t seed = 7) {
    cmp::RunShape s;
    s.rise = rise, s.offset = offset, s.k = k, s.tau = tau, s.fore = fore, s.after = after;
    s.theta0 = theta0, s.reading = reading, s.seed = seed;
    return cmp::makeRun(s);
}

// The warnings by their opening words.
enum Warn : unsigned {
    ShortFore = 1 << 0,
    ShortAfter = 1 << 1,
    Unsettled = 1 << 2,
    LargeExchange = 1 << 3,
    Uncertain = 1 << 4,
    HeatLeft = 1 << 5,
    ShortMain = 1 << 6,
};

unsigned warningKinds(const QStringList& warnings) {
    const std::pair<Warn, const char*> openings[] = {
        {ShortFore, "O período inicial tem só "},
        {ShortAfter, "O período final tem só "},
        {Unsettled, "A deriva do período final não está estável: "},
        {LargeExchange, "A correção de troca de calor de Dickinson ("},
        {Uncertain, "A incerteza estimada da elevação corrigida é de "},
        {HeatLeft, "Cerca de "},
        {ShortMain, "O período principal tem só "},
    };
    unsigned kinds = 0;
    for (const QString& w : warnings) {
        unsigned matched = 0;
        for (const auto& [kind, opening] : openings)
            if (w.startsWith(QString::fromUtf8(opening)))
                matched |= kind;
        EXPECT_NE(matched, 0u) << "unknown warning: " << w.toStdString();
        EXPECT_EQ(matched & kinds, 0u) << "warned twice: " << w.toStdString();
        EXPECT_TRUE(w.endsWith(QLatin1Char('.'))) << w.toStdString();
        kinds |= matched;
    }
    return kinds;
}

struct PlausibilityCase {
    const char* name;
    std::vector<Sample> samples;
    std::optional<Periods> periods;
    Method method;
    QString error;         // empty: accepted
    unsigned warnings = 0; // when accepted
    double trueRise = 0;   // when known: the result lies within 1 % of it
};

std::vector<PlausibilityCase> plausibilityCases() {
    const auto rp = Method::RegnaultPfaundler;
    const auto dk = Method::Dickinson;
    const QString endsEarly =
        QStringLiteral("O ensaio termina antes de a temperatura se estabilizar após a queima.");
    const auto clean = quantisedRun(2.5, 1.0, 0.003, 0.8, 8.0, 8.0, 21.0);
    const auto shortFore = quantisedRun(2.5, 1.0, 0.003, 0.8, 3.5, 8.0, 21.0);
    const auto shortAfter = quantisedRun(2.5, 1.0, 0.003, 0.8, 8.0, 3.0, 21.0);
    const auto endsSoon = quantisedRun(2.5, 1.0, 0.003, 0.8, 8.0, 1.0, 21.0);
    const auto endsSoonNoisy =
        quantisedRun(2.5, 1.0, 0.003, 0.8, 8.0, 1.0, 21.0, cmp::Reading::Noisy);
    const auto noisy = quantisedRun(3.0, -1.0, 0.005, 1.0, 7.0, 8.0, 21.0, cmp::Reading::Noisy);
    const auto noisySmall = quantisedRun(0.5, 1.0, 0.004, 2.4, 7.0, 6.0, 21.0, cmp::Reading::Noisy);
    // The bucket 2.7 K above the jacket, cooling fast, and a slow release: the exchange is far
    // from splitting at the 60 % point.
    const auto farFromJacket = quantisedRun(3.0, -2.7, 0.009, 2.0, 8.0, 8.0, 22.0);
    // A slow release (τ = 2 min), and a main period the technician ends after 3 min, 7.6 min
    // and 15 min of it.
    const auto slow = quantisedRun(2.0, 1.0, 0.004, 2.0, 6.0, 10.0, 21.0);
    const double tf = 6.0;
    const auto reading = [](double t) { return loggerMinutes(int(std::ceil(t * 12 - 1e-9)) + 1); };
    const auto given = [&](double main) {
        const double b = reading(tf) - 1.0 / 12, c = reading(tf + main);
        return Periods{b - 5, b, c, c + 5};
    };
    const unsigned cutShort = Unsettled | HeatLeft | ShortMain | Uncertain;
    // Ten logger steps up at 7 min: no firing.
    std::vector<Sample> bump;
    for (int sub = 1; loggerMinutes(sub) <= 25; ++sub)
        bump.push_back({loggerMinutes(sub), rawCelsius(loggerMinutes(sub) < 7 ? 300 : 310)});
    return {
        {"CleanRun", clean.samples, std::nullopt, rp, {}, 0, 2.5},
        {"CleanRunDickinson", clean.samples, std::nullopt, dk, {}, 0, 2.5},
        // 3.5 min of fore period know its slow drift well enough: nothing to say.
        {"ShortForePeriodThatDoesNotMatter", shortFore.samples, std::nullopt, rp, {}, 0, 2.5},
        {"ShortAfterPeriod", shortAfter.samples, std::nullopt, rp, {}, ShortAfter, 2.5},
        {"EndsTooSoonAfterTheRelease", endsSoon.samples, std::nullopt, rp, endsEarly, 0},
        {"EndsTooSoonWithNoise", endsSoonNoisy.samples, std::nullopt, rp, endsEarly, 0},
        {"OneStepOfNoise", noisy.samples, std::nullopt, rp, {}, 0, 3.0},
        {"SmallRiseWithNoise", noisySmall.samples, std::nullopt, rp, {}, Uncertain},
        {"FarFromTheJacketDickinson", farFromJacket.samples, std::nullopt, dk, {}, LargeExchange},
        {"FarFromTheJacketRP", farFromJacket.samples, std::nullopt, rp, {}, 0, 3.0},
        {"SlowReleaseEndedAt3Min", slow.samples, given(3.0), rp, {}, cutShort},
        {"SlowReleaseEndedAt8Min", slow.samples, given(8.0), rp, {}, Unsettled | HeatLeft},
        {"SlowReleaseEndedAt15Min", slow.samples, given(15.0), rp, {}, 0, 2.0},
        // Given periods on a run that never fired.
        {"UnfiredGivenPeriods", bump, Periods{0, 5, 10, 15}, rp,
         QStringLiteral("A elevação corrigida de temperatura (0,0489 K) é menor que 20 passos do "
                        "registrador (0,0978 K); o ensaio não mostra uma queima clara.")},
        // A falling run is refused whatever the mode.
        {"FallingRunWithoutCalorimetry",
         run({0, 1, 2, 3, 4, 5, 6, 7}, {22.0, 21.99, 21.98, 21.5, 21.0, 20.99, 20.98, 20.97}),
         Periods{0, 2, 5, 7}, dk,
         QStringLiteral("A elevação corrigida de temperatura não é positiva; o ensaio não pode "
                        "ser avaliado.")},
    };
}

class Plausibility : public testing::TestWithParam<PlausibilityCase> {};

TEST_P(Plausibility, RefusesOrWarnsWithTheReason) {
    const PlausibilityCase& c = GetParam();
    const Outcome o = evaluate(c.samples, c.method, c.periods);
    if (!c.error.isEmpty()) {
        EXPECT_FALSE(o.ok());
        EXPECT_EQ(o.error.toStdString(), c.error.toStdString());
        return;
    }
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    EXPECT_EQ(warningKinds(o.result->warnings), c.warnings)
        << o.result->warnings.join(QLatin1Char('\n')).toStdString();
    if (c.trueRise > 0) {
        EXPECT_NEAR(o.result->riseCorrected, c.trueRise, 0.01 * c.trueRise);
    }
}

INSTANTIATE_TEST_SUITE_P(Evaluation, Plausibility, testing::ValuesIn(plausibilityCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Plausibility, WarningsGiveTheFigure) {
    const auto shortAfter = quantisedRun(2.5, 1.0, 0.003, 0.8, 1.5, 3.0, 21.0);
    const Outcome o = evaluate(shortAfter.samples, Method::RegnaultPfaundler);
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    const Result& r = *o.result;
    const auto span = [&](double lo, double hi) {
        const auto in = [&](const Sample& x) { return x.t >= lo - 1e-9 && x.t <= hi + 1e-9; };
        const auto first = std::find_if(shortAfter.samples.begin(), shortAfter.samples.end(), in);
        const auto last = std::find_if(shortAfter.samples.rbegin(), shortAfter.samples.rend(), in);
        // As long as its readings last: n readings are n intervals.
        const double n = double(std::distance(first, last.base()));
        return QString::number((last->t - first->t) * n / (n - 1), 'f', 2).replace('.', ',');
    };
    // The fore drift of a slow run is known well enough from 1.5 min; the after drift, which
    // the whole main period multiplies, is not from 2.5 min.
    EXPECT_FALSE(r.warnings.join(' ').contains("O período inicial")) << r.warnings.join('\n').toStdString();
    EXPECT_TRUE(r.warnings.contains(QStringLiteral("O período final tem só %1 min; o recomendado é "
                                                   "pelo menos 5 min.")
                                        .arg(span(r.periods.c, r.periods.d))))
        << r.warnings.join(QLatin1Char('\n')).toStdString();
}

// ---- Runs as the logger reads them ----

// The logger's reading of an exact curve: whole steps, rounded down, within its 0 … 1023.
std::vector<Sample> asLoggerReads(std::vector<Sample> exact) {
    for (Sample& x : exact)
        x.theta = rawCelsius(std::clamp(int(std::floor((x.theta - 20.0) * 1023.0 / 5.0)), 0, 1023));
    return exact;
}

// A run of typical shape (firing at 8 min, τ 0.8 min, 2.5 K) with a second firing of 1.5 K
// `after` minutes later; none when `after` is 0.
std::vector<Sample> firedTwice(double after, double theta0 = 20.5) {
    auto exact = quantisedRun(2.5, 1.0, 0.003, 0.8, 8.0, after > 0 ? after + 10.0 : 8.0, theta0, cmp::Reading::Exact).samples;
    if (after > 0)
        for (Sample& x : exact)
            if (x.t > 8.0 + after)
                x.theta += 1.5 * (1 - std::exp(-(x.t - 8.0 - after) / 0.8));
    return asLoggerReads(exact);
}

struct LoggerCase {
    const char* name;
    std::vector<Sample> samples;
    std::optional<Periods> periods;
    QString refusal; ///< a part of the reason; empty: accepted
    bool warned = false;
};

std::vector<LoggerCase> loggerCases() {
    const auto clean = firedTwice(0);
    // One reading at the scale's lower end in the after period (raw 0: a dropped bit).
    auto dropped = clean;
    dropped[dropped.size() - 30].theta = 20.0;
    // Given limits around the firing at 8 min (reading 96): the fore period exactly 60
    // readings, the firing limit k readings into the rise.
    const auto givenLate = [&](int k) {
        const double b = (96 + k) / 12.0;
        return Periods{b - 59 / 12.0, b, b + 8.0, b + 8.0 + 59 / 12.0};
    };
    return {
        {"CleanRun", clean, std::nullopt, {}},
        {"CleanRunGivenSixtyForeReadings", clean, givenLate(0), {}},
        {"ClimbsPastTheTopOfTheScale", firedTwice(0, 23.5), std::nullopt,
         QStringLiteral("limite superior do registrador (25,000 °C) no período")},
        {"StartsBelowTheScale", firedTwice(0, 19.4), std::nullopt, QStringLiteral("limite inferior do registrador (20,000 °C)")},
        {"OneDroppedReadingInTheAfterPeriod", dropped, std::nullopt,
         QStringLiteral("leitura isolada fora da curva no período final: 20,000 °C aos ")},
        {"SecondFiringAt8Min", firedTwice(8), std::nullopt, QStringLiteral("mais de uma queima")},
        {"SecondFiringAt12Min", firedTwice(12), std::nullopt, QStringLiteral("mais de uma queima")},
        {"SecondFiringAt20Min", firedTwice(20), std::nullopt, QStringLiteral("mais de uma queima")},
        {"SecondFiringInsideGivenPeriods", firedTwice(12), Periods{3, 8, 16, 22}, QStringLiteral("outra queima aos ")},
        {"SecondFiringAfterGivenPeriods", firedTwice(20), Periods{3, 8, 16, 22}, {}},
        // The first 5 s of a fast release are a tenth of the rise.
        {"FiringLimitOneReadingLate", clean, givenLate(1), QStringLiteral("está dentro da subida")},
        {"FiringLimitTwoReadingsLate", clean, givenLate(2), QStringLiteral("está dentro da subida")},
        {"FiringLimitThreeReadingsLate", clean, givenLate(3), QStringLiteral("está dentro da subida")},
    };
}

class LoggerRuns : public testing::TestWithParam<LoggerCase> {};

// Nothing the logger could not have measured, and no second firing, passes as a result; a
// firing limit typed in the rise is refused or warned of; a good run stays unwarned.
TEST_P(LoggerRuns, AreRefusedWithTheirTrueCauseOrWarnedOnlyWhereItMatters) {
    const LoggerCase& c = GetParam();
    const Outcome o = evaluate(c.samples, Method::RegnaultPfaundler, c.periods, {}, true);
    if (!c.refusal.isEmpty()) {
        ASSERT_FALSE(o.ok());
        EXPECT_TRUE(o.error.contains(c.refusal)) << o.error.toStdString();
        return;
    }
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    EXPECT_EQ(!o.result->warnings.isEmpty(), c.warned) << o.result->warnings.join('\n').toStdString();
    // Accepted without a word: the true rise within 1 %.
    if (!c.warned) {
        EXPECT_NEAR(o.result->riseCorrected, 2.5, 0.025);
    }
}

INSTANTIATE_TEST_SUITE_P(Evaluation, LoggerRuns, testing::ValuesIn(loggerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The firing ----

struct FiringCase {
    const char* name;
    std::vector<Sample> samples;
    double firing;
};

std::vector<FiringCase> firingCases() {
    const double tf = 7.04;
    const auto base = quantisedRun(1.0, 0.5, 0.002, 1.5, tf, 6.0, 21.0).samples;
    // The fore period steps up by one logger step for good 2 min before the firing.
    auto stepped = base;
    for (Sample& x : stepped)
        if (x.t >= tf - 2.0 && x.t < tf)
            x.theta += kResolution;
    // The same half a minute before the firing, and with one step of noise 1 min before it.
    auto steppedLate = base;
    for (Sample& x : steppedLate)
        if (x.t >= tf - 0.5 && x.t < tf)
            x.theta += kResolution;
    auto steppedNoisy =
        quantisedRun(1.0, 0.5, 0.002, 1.5, tf, 6.0, 21.0, cmp::Reading::Noisy, 61).samples;
    for (Sample& x : steppedNoisy)
        if (x.t >= tf - 1.0 && x.t < tf)
            x.theta += kResolution;
    // Two readings three steps high 1.5 min before the firing.
    auto spike = base;
    for (Sample& x : spike)
        if (x.t >= tf - 1.5 && x.t < tf - 1.5 + 2.0 / 12)
            x.theta += 3 * kResolution;
    return {
        {"Plain", base, tf},
        {"OneStepJumpInTheForePeriod", stepped, tf},
        {"OneStepJumpHalfAMinuteBefore", steppedLate, tf},
        {"OneStepJumpWithNoise", steppedNoisy, tf},
        {"ShortSpikeInTheForePeriod", spike, tf},
        {"SlowRelease", quantisedRun(0.5, 0.5, 0.002, 2.5, tf, 6.0, 21.0).samples, tf},
        {"FastRelease", quantisedRun(4.0, -1.0, 0.008, 0.3, tf, 6.0, 20.5).samples, tf},
        {"SlowReleaseWithNoise",
         quantisedRun(0.5, 0.5, 0.002, 2.5, tf, 6.0, 21.0, cmp::Reading::Noisy, 11).samples, tf},
    };
}

class Firing : public testing::TestWithParam<FiringCase> {};

// The firing is where the curve leaves the fore line for good: never after it (the heat
// released before b would be lost), never a minute early at a stray reading or step.
TEST_P(Firing, IsTheLastingDeparture) {
    const FiringCase& c = GetParam();
    QString why;
    const auto p = detectPeriods(c.samples, &why);
    ASSERT_TRUE(p) << why.toStdString();
    EXPECT_LE(p->b, c.firing);
    EXPECT_GE(p->b, c.firing - 0.25);
}

INSTANTIATE_TEST_SUITE_P(Evaluation, Firing, testing::ValuesIn(firingCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A small campaign ----

// Fixed-seed campaigns of 200 runs each way: the targets the evaluation is held to.
TEST(Campaign, MeetsTheAccuracyTargets) {
    for (cmp::Reading reading : {cmp::Reading::Steps, cmp::Reading::Noisy}) {
        SCOPED_TRACE(reading == cmp::Reading::Steps ? "no noise" : "one step of noise");
        std::vector<cmp::RunResult> all;
        const cmp::Summary s = cmp::runCampaign(20261210, 200, reading, {}, &all);
        const cmp::MethodSummary& rp = s.methods[0];
        if (reading == cmp::Reading::Steps) {
            // The automatic firing within 0.5 min in 99 % of the runs.
            EXPECT_GE(s.firingWithin, 198);
            EXPECT_LE(rp.fullAfter.p95, 0.5);
            EXPECT_LE(rp.fullAfter.max, 1.5);
        }
        EXPECT_EQ(s.firingLate, 0);
        // A result given without a warning is within the targets, by either method.
        if (reading == cmp::Reading::Steps) {
            EXPECT_LE(rp.plainRuns.p95, 0.5);
        }
        for (const cmp::MethodSummary& m : s.methods) {
            EXPECT_EQ(m.plainBeyond, 0);
            EXPECT_EQ(m.plainBeyondOne, 0);
            EXPECT_EQ(m.runs, m.refused + m.warned + m.plain);
        }
        // Most runs are evaluated: only those whose data end too soon are refused, and no
        // automatic after period is a handful of readings.
        EXPECT_LE(rp.refused, 10);
        for (const cmp::RunResult& r : all) {
            for (const cmp::Score& sc : r.scores) {
                if (!sc.refused) {
                    EXPECT_GE(sc.afterSpan, 2.0);
                }
            }
        }
    }
}

TEST(Campaign, RunsAreReadInWholeStepsRoundedDown) {
    cmp::Random rng(5);
    const cmp::RunShape shape = cmp::drawShape(rng, {}, cmp::Reading::Steps);
    const cmp::Run run = cmp::makeRun(shape);
    SyntheticRun model;
    model.theta0 = shape.theta0, model.jacket = shape.theta0 + shape.offset, model.k = shape.k;
    model.firing = shape.fore, model.rise = shape.rise, model.tau = shape.tau;
    ASSERT_NEAR(run.samples.back().t, shape.fore + shape.tau * std::log(1000.0) + shape.after,
                5.0 / 60);
    for (std::size_t i = 0; i < run.samples.size(); ++i) {
        const Sample& x = run.samples[i];
        EXPECT_DOUBLE_EQ(x.t, i * 5.0 / 60);
        const double steps = (x.theta - 20) * 1023 / 5;
        EXPECT_NEAR(steps, std::round(steps), 1e-9);
        const double exact = syntheticTheta(model, x.t);
        EXPECT_LE(x.theta, exact + 1e-12);
        EXPECT_GT(x.theta, exact - kResolution);
    }
}

TEST(Campaign, SpreadIsByNearestRank) {
    std::vector<double> v;
    for (int i = 1; i <= 40; ++i)
        v.push_back(41 - i); // 40 … 1
    const cmp::Spread s = cmp::spreadOf(v);
    EXPECT_EQ(s.count, 40);
    EXPECT_EQ(s.median, 20);
    EXPECT_EQ(s.p95, 38);
    EXPECT_EQ(s.max, 40);
    EXPECT_EQ(cmp::spreadOf({}).count, 0);
}

// ---- Energy equivalent and calorific value ----

TEST(Calorimetry, HandWorkedEnergyEquivalentAndCalorificValue) {
    // Run 1 by Dickinson: corrected rise 14957/7500 K.
    Calorimetry cal;
    cal.mode = Calorimetry::Mode::Calibration;
    cal.mass = 0.5, cal.heatOfCombustion = 26454, cal.fuse = 50, cal.acid = 20, cal.sulfur = 5;
    const Outcome o = evaluate(run1(), Method::Dickinson, Periods{0, 2, 7, 10}, cal);
    ASSERT_TRUE(o.ok()) << o.error.toStdString();
    // (0.5·26454 + 75)/(14957/7500) = 13302·7500/14957
    EXPECT_NEAR(*o.result->energyEquivalent, 13302.0 * 7500 / 14957, 1e-6);
    EXPECT_FALSE(o.result->grossCalorificValue);

    Calorimetry sample;
    sample.mode = Calorimetry::Mode::Sample;
    sample.mass = 0.8, sample.energyEquivalent = 10000, sample.fuse = 50, sample.acid = 30;
    const Outcome s = evaluate(run1(), Method::Dickinson, Periods{0, 2, 7, 10}, sample);
    ASSERT_TRUE(s.ok()) << s.error.toStdString();
    // (10000·14957/7500 − 80)/0.8 = 24828.333… J/g
    const double q = (10000.0 * 14957 / 7500 - 80) / 0.8;
    EXPECT_NEAR(*s.result->grossCalorificValue, q, 1e-6);
    EXPECT_NEAR(*s.result->grossMJPerKg(), q / 1000, 1e-9);
    EXPECT_NEAR(*s.result->grossCalPerG(), q / 4.1868, 1e-6);
    EXPECT_EQ(*s.result->energyEquivalent, 10000);

    // A combustion aid's heat (0.1 g of paraffin oil at 46 000 J/g) is taken off like the others.
    sample.aid = 4600;
    const Outcome a = evaluate(run1(), Method::Dickinson, Periods{0, 2, 7, 10}, sample);
    ASSERT_TRUE(a.ok()) << a.error.toStdString();
    EXPECT_NEAR(*a.result->grossCalorificValue, (10000.0 * 14957 / 7500 - 4680) / 0.8, 1e-6);
}

struct RoundTrip {
    const char* name;
    Method method;
    double mass, heat, fuse, acid, sulfur;
};

class CalibrationRoundTrip : public testing::TestWithParam<RoundTrip> {};

// A standard burnt for calibration gives back its own heat of combustion as a sample.
TEST_P(CalibrationRoundTrip, GivesTheStandardsHeatBack) {
    const RoundTrip& c = GetParam();
    SyntheticRun r;
    r.theta0 = 20.8, r.jacket = 22.4, r.k = 0.004, r.rise = 2.9, r.tau = 0.9, r.firing = 5.5;
    r.duration = 25;
    const SyntheticData d = makeSyntheticRun(r);

    Calorimetry cal;
    cal.mode = Calorimetry::Mode::Calibration;
    cal.mass = c.mass, cal.heatOfCombustion = c.heat;
    cal.fuse = c.fuse, cal.acid = c.acid, cal.sulfur = c.sulfur;
    const Outcome w = evaluate(d.samples, c.method, std::nullopt, cal);
    ASSERT_TRUE(w.ok()) << w.error.toStdString();
    ASSERT_TRUE(w.result->energyEquivalent);

    Calorimetry sample = cal;
    sample.mode = Calorimetry::Mode::Sample;
    sample.energyEquivalent = *w.result->energyEquivalent;
    sample.heatOfCombustion = 0; // not used for a sample
    const Outcome q = evaluate(d.samples, c.method, std::nullopt, sample);
    ASSERT_TRUE(q.ok()) << q.error.toStdString();
    EXPECT_NEAR(*q.result->grossCalorificValue, c.heat, 1e-9 * c.heat);
}

INSTANTIATE_TEST_SUITE_P(
    Calorimetry, CalibrationRoundTrip,
    testing::Values(RoundTrip{"BenzoicAcidRP", Method::RegnaultPfaundler, 1.0, 26454, 50, 20, 0},
                    RoundTrip{"BenzoicAcidDickinson", Method::Dickinson, 0.95, 26454, 60, 25, 3},
                    RoundTrip{"OtherStandardRP", Method::RegnaultPfaundler, 0.6, 46000, 40, 0, 12},
                    RoundTrip{"NoCorrections", Method::Dickinson, 1.1, 26454, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Calorimetry, DefaultStandardIsBenzoicAcid) {
    EXPECT_EQ(Calorimetry{}.heatOfCombustion, 26454);
    EXPECT_EQ(Calorimetry{}.mode, Calorimetry::Mode::None);
}

struct BadInput {
    const char* name;
    Calorimetry cal;
    bool falling = false; // a run whose corrected rise is negative
    QString error;
};

std::vector<BadInput> badInputs() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto sample = [](double mass, double w) {
        Calorimetry c;
        c.mode = Calorimetry::Mode::Sample, c.mass = mass, c.energyEquivalent = w;
        return c;
    };
    auto calibration = [](double mass, double q) {
        Calorimetry c;
        c.mode = Calorimetry::Mode::Calibration, c.mass = mass, c.heatOfCombustion = q;
        return c;
    };
    auto withFuse = [](Calorimetry c, double fuse) {
        c.fuse = fuse;
        return c;
    };
    auto withSulfur = [](Calorimetry c, double sulfur) {
        c.sulfur = sulfur;
        return c;
    };
    const QString mass = QStringLiteral("A massa deve ser um número positivo.");
    const QString w = QStringLiteral("O equivalente energético deve ser um número positivo.");
    const QString q = QStringLiteral("O calor de combustão do padrão deve ser um número positivo.");
    const QString corr =
        QStringLiteral("As correções do fio, do ácido, do enxofre e do auxiliar de combustão devem ser números válidos.");
    const QString rise = QStringLiteral(
        "A elevação corrigida de temperatura não é positiva; o ensaio não pode ser avaliado.");
    return {
        {"SampleMassZero", sample(0, 10000), false, mass},
        {"SampleMassNegative", sample(-1, 10000), false, mass},
        {"SampleMassNaN", sample(nan, 10000), false, mass},
        {"SampleEnergyEquivalentZero", sample(1, 0), false, w},
        {"SampleEnergyEquivalentInfinite", sample(1, inf), false, w},
        {"SampleFuseNaN", withFuse(sample(1, 10000), nan), false, corr},
        {"CalibrationMassZero", calibration(0, 26454), false, mass},
        {"CalibrationMassInfinite", calibration(inf, 26454), false, mass},
        {"CalibrationHeatZero", calibration(1, 0), false, q},
        {"CalibrationHeatNaN", calibration(1, nan), false, q},
        {"CalibrationSulfurInfinite", withSulfur(calibration(1, 26454), inf), false, corr},
        {"SampleAidNaN", [&] { Calorimetry c = sample(1, 10000); c.aid = nan; return c; }(), false, corr},
        {"CalibrationFallingRun", calibration(1, 26454), true, rise},
        {"SampleFallingRun", sample(1, 10000), true, rise},
        // Inputs each valid, results that are not: an infinite value, a negative W.
        {"SampleMassTooSmallForAFiniteValue", sample(1e-320, 10000), false,
         QStringLiteral("O poder calorífico não é um número finito; confira a massa, o equivalente "
                        "energético e as correções.")},
        {"CalibrationCorrectionsGiveANegativeW", withFuse(calibration(1, 26454), -1e9), false,
         QStringLiteral("O equivalente energético calculado (-5.01424e+08 J/K) não é um número positivo; "
                        "confira a massa, o calor de combustão e as correções.")},
    };
}

class CalorimetryRefused : public testing::TestWithParam<BadInput> {};

TEST_P(CalorimetryRefused, GivesTheReason) {
    const BadInput& c = GetParam();
    const auto falling =
        run({0, 1, 2, 3, 4, 5, 6, 7}, {22.0, 21.99, 21.98, 21.5, 21.0, 20.99, 20.98, 20.97});
    const Outcome o = evaluate(c.falling ? falling : run1(), Method::Dickinson,
                               c.falling ? Periods{0, 2, 5, 7} : Periods{0, 2, 7, 10}, c.cal);
    EXPECT_FALSE(o.ok());
    EXPECT_EQ(o.error.toStdString(), c.error.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Calorimetry, CalorimetryRefused, testing::ValuesIn(badInputs()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Calorimetry, NoneIgnoresTheInputs) {
    Calorimetry c;
    c.mass = -1, c.fuse = std::numeric_limits<double>::quiet_NaN();
    const Outcome o = evaluate(run1(), Method::Dickinson, Periods{0, 2, 7, 10}, c);
    ASSERT_TRUE(o.ok());
    EXPECT_FALSE(o.result->energyEquivalent);
}

} // namespace

// The lab's inputs and results against hand computations.
TEST(LabInputs, CorrectionsNetValueDryBasisAndUnits) {
    struct Case { const char* what; double got, expected; } cases[] = {
        {"10 cm of Ni-Cr wire", eval::fuseFromWire(10, eval::kNickelChromiumJoulesPerCm), 96.0},
        {"8.5 cm of iron wire", eval::fuseFromWire(8.5, eval::kIronJoulesPerCm), 96.05},
        {"1 mL of 0.0709 N alkali is 1 cal", eval::acidFromTitration(1, 0.0709), 4.1868},
        {"7.2 mL of 0.1 N alkali", eval::acidFromTitration(7.2, 0.1), 7.2 * 0.1 * 4.1868 / 0.0709},
        {"1.2 % S in 0.98 g", eval::sulfurFromContent(1.2, 0.98), 1.2 * 0.98 * 57.4},
        {"0.05 g of paraffin at 46 000 J/g", eval::combustionAid(0.05, 46000), 2300},
        {"dry basis at 8 % moisture", eval::dryBasis(27600, 8), 30000},
        // ISO 1928's form by hand: (30000 − 1061 − 6.4) × 0.88 − 293.16 = 25 460.688 − 293.16 = 25 167.528
        {"net value", eval::netCalorificValue(30000, {5, 8, 12}), 25167.528},
        {"net value without O+N, dry", eval::netCalorificValue(30000, {5, 0, 0}), 28939},
        {"MJ/kg", eval::inUnit(29871, eval::Unit::MegajoulesPerKilogram), 29.871},
        {"cal/g", eval::inUnit(4186.8, eval::Unit::CaloriesPerGram), 1000},
        {"Btu/lb", eval::inUnit(23260, eval::Unit::BtuPerPound), 10000},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(c.got, c.expected, 1e-9 * std::max(1.0, std::abs(c.expected))) << c.what;
    EXPECT_EQ(eval::unitName(eval::Unit::BtuPerPound), "Btu/lb");
}
