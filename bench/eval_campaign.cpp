// The accuracy campaign of the evaluation, run by hand (not a test): random quantised runs
// with and without one step of noise, their automatic periods and both methods against the
// true rise. Figures in bench/README.md.
//
//   eval_campaign [--runs N] [--seed S] [--worst K] [--exact] [--typical] [--rise-min K]
//
// --typical draws only runs of a lab's usual shape (fore 5–6 min, after 6–10 min): the runs on
// which a warning should be rare.
#include "evaluation/campaign.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace eval::campaign;

namespace {

const char* const kMethods[] = {"Regnault-Pfaundler", "Dickinson"};

void printSpread(const char* what, const Spread& s) {
    std::printf("    %-34s %6d runs  median %.3f %%  p95 %.3f %%  max %.3f %%\n", what, s.count,
                s.median, s.p95, s.max);
}

void printShape(const RunShape& s) {
    std::printf("rise %.3f K, offset %+.2f K, k %.4f /min, tau %.2f min, fore %.2f min, "
                "after %.2f min, theta0 %.3f",
                s.rise, s.offset, s.k, s.tau, s.fore, s.after, s.theta0);
}

void report(const char* title, const Summary& sum, std::vector<RunResult>& all, int worst) {
    std::printf("%s: %d runs\n", title, sum.runs);
    std::printf("  firing: found on %d, within 0.5 min on %d (%.2f %% of all runs), "
                "late on %d; b - tf from %+.3f to %+.3f min\n",
                sum.firingFound, sum.firingWithin, 100.0 * sum.firingWithin / sum.runs,
                sum.firingLate, sum.firingOffsetMin, sum.firingOffsetMax);
    for (int m = 0; m < 2; ++m) {
        const MethodSummary& ms = sum.methods[m];
        std::printf("  %s: refused %d, warned %d (%.1f %% of those evaluated), plain %d; plain beyond 1 %%: %d, "
                    "beyond 1.5 %%: %d; plain with an after period under 5 min: %d\n",
                    kMethods[m], ms.refused, ms.warned,
                    ms.warned + ms.plain > 0 ? 100.0 * ms.warned / (ms.warned + ms.plain) : 0.0, ms.plain,
                    ms.plainBeyondOne, ms.plainBeyond, ms.shortAfterPlain);
        // How often twice the stated standard uncertainty covers the real error.
        int evaluated = 0, covered = 0;
        for (const RunResult& r : all)
            if (!r.scores[m].refused) {
                ++evaluated;
                covered += std::abs(r.scores[m].errorPercent) <= 2 * r.scores[m].uncertaintyPercent;
            }
        std::printf("    twice the stated uncertainty covers the error on %d of %d (%.1f %%)\n", covered, evaluated,
                    evaluated ? 100.0 * covered / evaluated : 0.0);
        for (double k : {1.5, 1.65, 2.0}) {
            int cov = 0, over = 0, overAndOff = 0, off = 0;
            for (const RunResult& r : all) {
                const Score& sc = r.scores[m];
                if (sc.refused) continue;
                cov += std::abs(sc.errorPercent) <= k * sc.uncertaintyPercent;
                over += k * sc.uncertaintyPercent > 1.0;
                off += std::abs(sc.errorPercent) > 1.0;
                overAndOff += k * sc.uncertaintyPercent > 1.0 && std::abs(sc.errorPercent) > 1.0;
            }
            std::printf("    k %.2f: covers %.1f %%, k·u > 1 %% on %d, off > 1 %% on %d (%d of them with k·u > 1 %%)\n", k,
                        100.0 * cov / std::max(evaluated, 1), over, off, overAndOff);
        }
        printSpread("after period >= 5 min (accepted)", ms.fullAfter);
        printSpread("plain (no warning)", ms.plainRuns);
    }
    if (worst <= 0)
        return;
    for (int m = 0; m < 2; ++m) {
        std::vector<const RunResult*> ok;
        for (const RunResult& r : all)
            if (!r.scores[m].refused)
                ok.push_back(&r);
        std::sort(ok.begin(), ok.end(), [m](const RunResult* a, const RunResult* b) {
            return std::abs(a->scores[m].errorPercent) > std::abs(b->scores[m].errorPercent);
        });
        std::printf("  worst %s runs:\n", kMethods[m]);
        for (int i = 0; i < worst && i < int(ok.size()); ++i) {
            const Score& sc = ok[i]->scores[m];
            std::printf("    %+.3f %%  b-tf %+.3f  after %.2f  warnings %lld  ", sc.errorPercent,
                        sc.firingOffset, sc.afterSpan, static_cast<long long>(sc.warnings.size()));
            printShape(ok[i]->shape);
            std::printf("\n");
        }
    }
    int shown = 0;
    std::printf("  refused runs:\n");
    for (const RunResult& r : all) {
        if (!r.scores[0].refused || shown++ >= worst)
            continue;
        std::printf("    ");
        printShape(r.shape);
        std::printf("\n      %s\n", r.scores[0].error.toStdString().c_str());
    }
    // The reasons for refusals and warnings, counted.
    for (int m = 0; m < 2; ++m) {
        QStringList reasons;
        for (const RunResult& r : all) {
            const Score& sc = r.scores[m];
            if (sc.refused)
                reasons << QStringLiteral("refused: ") + sc.error;
            for (const QString& w : sc.warnings)
                reasons << QStringLiteral("warned: ") + w.section(QLatin1Char(' '), 0, 4);
        }
        reasons.sort();
        std::printf("  %s reasons:\n", kMethods[m]);
        for (qsizetype i = 0; i < reasons.size();) {
            qsizetype j = i;
            while (j < reasons.size() && reasons[j] == reasons[i])
                ++j;
            std::printf("    %5lld  %s\n", static_cast<long long>(j - i),
                        reasons[i].toStdString().c_str());
            i = j;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5000, worst = 0;
    bool exact = false, typical = false;
    double riseMin = 0;
    unsigned long long seed = 20261210;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--runs") && more)
            runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && more)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--exact"))
            exact = true;
        else if (!std::strcmp(argv[i], "--typical"))
            typical = true;
        else if (!std::strcmp(argv[i], "--rise-min") && more)
            riseMin = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--worst") && more)
            worst = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--runs N] [--seed S] [--worst K] [--exact] [--typical] [--rise-min K]\n",
                         argv[0]);
            return 2;
        }
    }
    if (runs <= 0) {
        std::fprintf(stderr, "--runs must be positive\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::pair<Reading, const char*> readings[] = {
        {Reading::Steps, "no noise"},
        {Reading::Noisy, "one step of noise"},
        {Reading::Exact, "exact readings (not quantised)"}};
    for (std::size_t i = 0; i < (exact ? 3u : 2u); ++i) {
        std::vector<RunResult> all;
        Ranges ranges;
        if (typical) {
            ranges.foreMin = 5.0, ranges.foreMax = 6.0;
            ranges.afterMin = 6.0, ranges.afterMax = 10.0;
        }
        if (riseMin > 0)
            ranges.riseMin = riseMin;
        const Summary sum = runCampaign(seed + i, runs, readings[i].first, ranges, &all);
        report(readings[i].second, sum, all, worst);
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seed %llu, %d runs each, %.1f s\n", seed, runs, s);
    return 0;
}
