// The resumable protocol: the evaluator asks for the variables it needs one at a time,
// evaluates whole arrays at once, and leaves undefined what has an undefined input.
#include "ExpressionTestDoubles.h"

#include <cmath>
#include <random>

namespace zel::test {
namespace {

std::vector<float> randomValues(std::mt19937& rng, int n, float lo, float hi) {
    std::uniform_real_distribution<float> d(lo, hi);
    std::vector<float> v(static_cast<std::size_t>(n));
    for (float& x : v) x = d(rng);
    return v;
}

TEST_F(ExpressionTest, SeveralVariablesAreAskedForOnceEachAndMatchAScalarTwin) {
    for (const char* name : {"A", "B", "C"}) vars->add(name, "");
    std::mt19937 rng(7);
    const int n = 2 * 1024 + 37; // whole blocks and a partial one
    std::map<std::string, std::vector<float>> f = {
        {"A", randomValues(rng, n, -2, 2)}, {"B", randomValues(rng, n, 0.1f, 3)}, {"C", randomValues(rng, n, -1, 1)}};
    const std::string text =
        "if(A > 0, A^3 / B, -sqrt(B)) + max(C, 0.25) * exp(C) - atan2(A, B) + (A >= C) * 2 + loge(B) - C^-2 + B^1.5";
    std::vector<std::string> asked;
    const auto got = evaluate(text, n, f, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"A", "B", "C"}));
    for (int i = 0; i < n; ++i) {
        const double a = f["A"][static_cast<std::size_t>(i)], b = f["B"][static_cast<std::size_t>(i)],
                     c = f["C"][static_cast<std::size_t>(i)];
        const double want = (a > 0 ? a * a * a / b : -std::sqrt(b)) + std::max(c, 0.25) * std::exp(c) -
                            std::atan2(a, b) + (a >= c ? 2.0 : 0.0) + std::log(b) - 1.0 / (c * c) + std::pow(b, 1.5);
        // float evaluation: relative tolerance of a few ulps times the terms' size
        const double tol = 1e-5 * (1.0 + std::fabs(want) + 1.0 / (c * c));
        ASSERT_NEAR(got[static_cast<std::size_t>(i)], want, tol) << "vertex " << i;
    }
}

TEST_F(ExpressionTest, UndefinedInputsAndNonFiniteResultsAreUndefined) {
    const float U = UNDEFINED_VALUE;
    const std::map<std::string, std::vector<float>> f = {{"Pressure", {1, U, 3, 4, 0}},
                                                         {"Temperature", {1, 1, U, -1, 0}}};
    const auto v = evaluate("Pressure / 1 [Pa] + 0 * Temperature / 1 [K]", 5, f);
    EXPECT_EQ(v, (std::vector<float>{1, U, U, 4, 0}));
    // an undefined input stays undefined even where it would be multiplied away or not chosen
    EXPECT_EQ(evaluate("if(Temperature > 0 [K], 1, Pressure / 1 [Pa])", 5, f)[1], U);
    // division by zero, roots and logarithms of negative numbers
    const auto w = evaluate("1 [K] / Temperature + sqrt(Temperature / 1 [K]) + loge(Temperature / 1 [K] + 1)", 5, f);
    EXPECT_EQ(w[3], U);
    EXPECT_EQ(w[4], U);
    EXPECT_FLOAT_EQ(w[0], 1.0f + 1.0f + std::log(2.0f));
}

TEST_F(ExpressionTest, ProtocolStateAndCountsAreChecked) {
    std::vector<float> out(3);
    ExpressionEvaluator e;
    std::string state;
    EXPECT_EQ(e.evaluateVariable("Pressure + p + Temperature * 1 [Pa K^-1]", out.data(), 3, state, "", {}), "Pressure");
    EXPECT_FALSE(state.empty());
    const std::vector<float> p = {1, 2, 3};
    const std::vector<float> shortT = {1, 2};
    // a state string of another evaluation is refused
    std::string other = "evaluation 0: variable 1 of 2: Pressure";
    EXPECT_THROW(e.continueEvaluatingVariable(p.data(), other), internal::error);
    EXPECT_EQ(e.continueEvaluatingVariable(std::span<const float>(p), state), "Temperature");
    expectError<expressions::eval>([&] { e.continueEvaluatingVariable(std::span<const float>(shortT), state); },
                                   {.message = "Error in expression 'Pressure + p + Temperature * 1 [Pa K^-1]': the "
                                               "variable 'Temperature' has 2 values, but 3 vertices are evaluated."});
    const std::vector<float> t = {10, 20, 30};
    EXPECT_EQ(e.continueEvaluatingVariable(t.data(), state), "");
    EXPECT_TRUE(state.empty());
    EXPECT_EQ(out, (std::vector<float>{12, 24, 36}));
    // nothing waits any more
    EXPECT_THROW(e.continueEvaluatingVariable(t.data(), state), internal::error);
    ExpressionEvaluator fresh;
    EXPECT_THROW(fresh.continueEvaluatingVariable(t.data(), state), internal::error);
    // bad arguments
    EXPECT_THROW(e.evaluateVariable("Pressure", out.data(), -1, state, "", {}), internal::badParam);
    EXPECT_THROW(e.evaluateVariable("Pressure", nullptr, 3, state, "", {}), internal::nullPointer);
}

TEST_F(ExpressionTest, ExpressionsWithoutFieldsFillTheArrayAtOnce) {
    std::vector<float> out(5, -1.0f);
    ExpressionEvaluator e;
    std::string state;
    EXPECT_EQ(e.evaluateVariable("2 [km] / 4", out.data(), 5, state, "", {}), "");
    EXPECT_EQ(out, std::vector<float>(5, 500.0f));
    EXPECT_EQ(e.evaluateVariable("Pressure", out.data(), 0, state, "", {}), ""); // no vertices: nothing needed
    EXPECT_EQ(evaluate("1 / 0", 2, {}), std::vector<float>(2, UNDEFINED_VALUE));
}

TEST_F(ExpressionTest, ExpressionsAreCompiledOnceUntilTheCacheIsCleared) {
    const std::map<std::string, std::vector<float>> f = {{"Pressure", {1}}};
    evaluate("Pressure * 2", 1, f);
    const int lookups = vars->lookups;
    evaluate("Pressure * 2", 1, f);
    ExpressionEvaluator::getDimensions("Pressure * 2", "");
    EXPECT_EQ(vars->lookups, lookups);
    ExpressionEvaluator::clearExpressionCache();
    EXPECT_EQ(ExpressionEvaluator::expressionCacheSize(), 0u);
    evaluate("Pressure * 2", 1, f);
    EXPECT_GT(vars->lookups, lookups);
    // names mean what the host says now: registering another host clears the cache
    store->addExpression("Late", "3");
    EXPECT_FLOAT_EQ(single("Late"), 3.0f);
    FakeStore other;
    EXPECT_EQ(ExpressionEvaluator::expressionCacheSize(), 0u);
    expectDimsError("Late", {.fragments = {"'Late' is no variable"}});
    EXPECT_EQ(ExpressionEvaluator::getNeededVariables("theta * Pressure"),
              (std::vector<std::string>{"Y", "X", "Pressure"}));
}

TEST_F(ExpressionTest, NestedEvaluationsFromCallbacksAreIndependent) {
    // The calculator evaluates its expression through the protocol while the outer
    // evaluation waits for its own variables, as the storage does.
    calc->answer = [this](const CalcRequest& r) {
        const auto v = evaluate(r.expression, 2, {{"Pressure", {1, 3}}});
        ExpressionEvaluator::clearExpressionCache(); // the outer program must survive this
        return Quantity((v[0] + v[1]) / 2, "kg m^-1 s^-2");
    };
    const auto v = evaluate("Pressure - areaAve(Pressure * 2)@Plane 1", 2, {{"Pressure", {10, 20}}});
    EXPECT_EQ(v, (std::vector<float>{6, 16}));
}

} // namespace
} // namespace zel::test
