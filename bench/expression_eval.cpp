// Evaluating "2*Pressure + Velocity X^2 - sqrt(abs(Temperature))" over 1,000,000 vertices
// through the resumable protocol, against the same formula written as a C++ loop. Both run
// single-threaded in this binary; the goal is the protocol within 3x of the loop.
//   BM_HandWrittenLoop            the formula as a plain loop (no undefined-value handling)
//   BM_ExpressionProtocol         the evaluator, inputs handed over as the storage's arrays
//   BM_ExpressionProtocolCopying  the same with a fresh copy of each input per request, as
//                                 the data storage makes one (the copy is the storage's cost)
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr int kVertices = 1000000;
const char* const kExpression = "2*Pressure + Velocity X^2 - sqrt(abs(Temperature))";

// The host's variable list: three dimensionless variables, so that the formula is valid.
class BenchVariables : public zel::ExpressionVariablesInterface {
public:
    BenchVariables() {
        for (const char* n : {"Pressure", "Velocity X", "Temperature"})
            m_infos[n] = zel::ExpressionVariableInfo(n, n, true, "", "");
    }
    const zel::ExpressionVariableInfo* getVariable(const std::string& name, bool) override {
        auto it = m_infos.find(name);
        return it == m_infos.end() ? nullptr : &it->second;
    }
    std::string getBaseUnits(const std::string&, bool) override { return ""; }
    bool isVariablePrefix(const std::string&) override { return false; }
    bool isVariableSuffix(const std::string&, SuffixEffect&) override { return false; }

private:
    std::map<std::string, zel::ExpressionVariableInfo> m_infos;
};

struct Fields {
    std::map<std::string, std::vector<float>> values;
    Fields() {
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> p(-1e5f, 1e5f), v(-50.0f, 50.0f), t(200.0f, 400.0f);
        auto fill = [&](const char* name, auto& dist) {
            auto& a = values[name];
            a.resize(kVertices);
            for (float& x : a) x = dist(rng);
        };
        fill("Pressure", p);
        fill("Velocity X", v);
        fill("Temperature", t);
    }
};

Fields& fields() {
    static Fields f;
    return f;
}

void BM_HandWrittenLoop(benchmark::State& state) {
    const float* p = fields().values["Pressure"].data();
    const float* v = fields().values["Velocity X"].data();
    const float* t = fields().values["Temperature"].data();
    std::vector<float> out(kVertices);
    for (auto _ : state) {
        float* o = out.data();
        for (int i = 0; i < kVertices; ++i) o[i] = 2.0f * p[i] + v[i] * v[i] - std::sqrt(std::fabs(t[i]));
        benchmark::DoNotOptimize(o);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_HandWrittenLoop)->Unit(benchmark::kMillisecond);

void runProtocol(benchmark::State& state, bool copyInputs) {
    BenchVariables variables; // registers itself with the expression language
    std::vector<float> out(kVertices);
    std::vector<float> copy;
    for (auto _ : state) {
        zel::ExpressionEvaluator evaluator;
        std::string kept;
        std::string needed = evaluator.evaluateVariable(kExpression, out.data(), kVertices, kept, "",
                                                        zel::ExpressionCoordTransData("r", "theta", "z"));
        while (!needed.empty()) {
            const std::vector<float>& values = fields().values.at(needed);
            if (copyInputs) {
                copy.assign(values.begin(), values.end());
                needed = evaluator.continueEvaluatingVariable(copy.data(), kept);
            } else {
                needed = evaluator.continueEvaluatingVariable(values.data(), kept);
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
    // The two forms must agree (checked once, outside the timing).
    const auto& p = fields().values["Pressure"];
    const auto& v = fields().values["Velocity X"];
    const auto& t = fields().values["Temperature"];
    for (int i = 0; i < kVertices; i += 9973) {
        const float want = 2.0f * p[i] + v[i] * v[i] - std::sqrt(std::fabs(t[i]));
        if (std::fabs(out[i] - want) > 1e-6f * (1.0f + std::fabs(want)))
            state.SkipWithError("evaluator and loop disagree");
    }
}

void BM_ExpressionProtocol(benchmark::State& state) { runProtocol(state, false); }
BENCHMARK(BM_ExpressionProtocol)->Unit(benchmark::kMillisecond);

void BM_ExpressionProtocolCopying(benchmark::State& state) { runProtocol(state, true); }
BENCHMARK(BM_ExpressionProtocolCopying)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
