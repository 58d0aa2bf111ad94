// The evaluation of a test of 8 000 samples with automatic periods.
#include "evaluation/evaluation.h"
#include "evaluation/synthetic.h"

#include <benchmark/benchmark.h>

namespace {

// 8 000 samples (about 11 h at 5 s): the firing at 6 min, a long drifting tail after it.
eval::SyntheticData longRun() {
    eval::SyntheticRun r;
    r.theta0 = 20.6, r.jacket = 22.0, r.k = 0.003, r.firing = 6, r.rise = 2.8, r.tau = 1.0;
    r.duration = eval::loggerMinutes(8000);
    return eval::makeSyntheticRun(r);
}

void BM_EvaluateAutomatic8000(benchmark::State& st) {
    const auto d = longRun();
    const auto method = st.range(0) ? eval::Method::Dickinson : eval::Method::RegnaultPfaundler;
    for (auto _ : st) {
        const auto o = eval::evaluate(d.samples, method);
        if (!o.ok()) {
            st.SkipWithError(o.error.toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(o.result->riseCorrected);
    }
    st.counters["samples"] = double(d.samples.size());
}
BENCHMARK(BM_EvaluateAutomatic8000)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
