#pragma once
// Test doubles of the host interfaces of the expression language, and a driver of the
// resumable protocol as the data storage runs it.
#include "framework/core/Error.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace zel::test {

class FakeVariables : public ExpressionVariablesInterface {
public:
    // name as written -> (variable, units)
    void add(const std::string& name, const std::string& units, const std::string& variable = "") {
        m_infos[name] = ExpressionVariableInfo(name, variable.empty() ? name : variable,
                                               ExpressionEvaluator::isValidGeniVariable(name), units, "");
    }
    const ExpressionVariableInfo* getVariable(const std::string& name, bool) override {
        ++lookups;
        auto it = m_infos.find(name);
        return it == m_infos.end() ? nullptr : &it->second;
    }
    std::string getBaseUnits(const std::string& name, bool fromExpression) override {
        if (baseUnits) return baseUnits(name, fromExpression);
        throw data::notFound("FakeVariables", "getBaseUnits", "no units", ErrError);
    }
    bool isVariablePrefix(const std::string& name) override { return prefixes.count(name) > 0; }
    bool isVariableSuffix(const std::string& name, SuffixEffect& effect) override {
        auto it = suffixes.find(name);
        if (it == suffixes.end()) return false;
        effect = it->second;
        return true;
    }

    std::set<std::string> prefixes;
    std::map<std::string, SuffixEffect> suffixes;
    std::function<std::string(const std::string&, bool)> baseUnits;
    int lookups = 0;

private:
    std::map<std::string, ExpressionVariableInfo> m_infos;
};

class FakeStore : public ExpressionStoreInterface {
public:
    void addExpression(const std::string& name, const std::string& text) { m_exprs[name] = ExpressionDef(name, text); }
    const ExpressionDef* getExpression(const std::string& name) override {
        auto it = m_exprs.find(name);
        return it == m_exprs.end() ? nullptr : &it->second;
    }
    const std::map<std::string, std::string>& getConstants() override { return constants; }
    std::map<std::string, std::string> constants;

private:
    std::map<std::string, ExpressionDef> m_exprs;
};

struct CalcRequest {
    std::string function, location, expression, axis, fluid;
    bool operator==(const CalcRequest&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const CalcRequest& r) {
    return out << r.function << "|" << r.location << "|" << r.expression << "|" << r.axis << "|" << r.fluid;
}

class FakeCalculator : public ExpressionCallbacksInterface {
public:
    FakeCalculator() {
        auto fn = [&](const char* name, ArgumentUse e, ArgumentUse a, ArgumentUse f, UnitDimensions d) {
            FunctionInfo info;
            info.expressionArg = e;
            info.axisArg = a;
            info.fluidArg = f;
            info.onSurface = true;
            info.dimensions = d;
            table[name] = info;
        };
        using A = ArgumentUse;
        fn("area", A::NotTaken, A::Optional, A::NotTaken, UnitDimensions(0, 2, 0));
        fn("areaAve", A::Required, A::Optional, A::NotTaken, UnitDimensions());
        fn("areaInt", A::Required, A::Optional, A::NotTaken, UnitDimensions(0, 2, 0));
        fn("massFlow", A::NotTaken, A::NotTaken, A::Optional, UnitDimensions(1, 0, -1));
        fn("massFlowAve", A::Required, A::NotTaken, A::Optional, UnitDimensions());
        fn("force", A::NotTaken, A::Required, A::Optional, UnitDimensions(1, 1, -2));
        fn("torque", A::NotTaken, A::Required, A::Optional, UnitDimensions(1, 2, -2));
        fn("sum", A::Required, A::NotTaken, A::NotTaken, UnitDimensions());
        fn("count", A::NotTaken, A::NotTaken, A::NotTaken, UnitDimensions());
    }
    const FunctionInfo* getFunctionInfo(const std::string& name) override {
        auto it = table.find(name);
        return it == table.end() ? nullptr : &it->second;
    }
    Quantity evaluate(const std::string& function, const std::string& location, const std::string& expression,
                      const std::string& axis, const std::string& fluid) override {
        requests.push_back({function, location, expression, axis, fluid});
        return answer ? answer(requests.back()) : Quantity(1.0f, "");
    }
    const std::map<std::string, FunctionInfo>& getFunctionInfo() override { return table; }

    std::map<std::string, FunctionInfo> table;
    std::vector<CalcRequest> requests;
    std::function<Quantity(const CalcRequest&)> answer;
};

class FakeFluids : public ExpressionFluidsInterface {
public:
    std::vector<std::string> getFluidNames() override { return fluids; }
    std::vector<std::string> fluids{"Water", "Air"};
};

class FakeLocators : public ExpressionLocatorsInterface {
public:
    bool isLocator(const std::string& name) override { return locators.count(name) > 0; }
    std::set<std::string> locators{"Plane 1", "Outlet", "Inlet", "Wall"};
};

// Registers fresh doubles for each test (construction registers them, destruction withdraws
// them) and starts from an empty cache.
class ExpressionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ExpressionInterfaces::clear();
        vars = std::make_unique<FakeVariables>();
        store = std::make_unique<FakeStore>();
        calc = std::make_unique<FakeCalculator>();
        fluids = std::make_unique<FakeFluids>();
        locators = std::make_unique<FakeLocators>();
        vars->add("Pressure", "kg m^-1 s^-2");
        vars->add("p", "kg m^-1 s^-2", "Pressure");
        vars->add("Temperature", "K");
        vars->add("Velocity", "m s^-1");
        vars->add("Density", "kg m^-3");
        vars->add("Wall Heat Transfer Coefficient", "kg s^-3 K^-1");
        vars->add("Heat Flux on Surface 1", "kg s^-3");
        vars->add("Velocity u", "m s^-1", "Velocity X");
        vars->prefixes = {"Water", "Air"};
        vars->suffixes["Gradient"] = {2, "m^-1"};
        vars->suffixes["Gradient X"] = {2, "m^-1"};
        vars->suffixes["Residual"] = {1, ""};
        vars->suffixes["Bforce"] = {0, ""};
    }

    // Runs the resumable protocol as the storage does, supplying each asked-for variable
    // from `fields`; `asked` receives the names in the order they were asked for.
    std::vector<float> evaluate(const std::string& text, int count,
                                const std::map<std::string, std::vector<float>>& fields,
                                std::vector<std::string>* asked = nullptr,
                                const ExpressionCoordTransData& coords = ExpressionCoordTransData()) {
        std::vector<float> out(static_cast<std::size_t>(count), -1.0f);
        ExpressionEvaluator evaluator;
        std::string state;
        std::string needed = evaluator.evaluateVariable(text, out.data(), count, state, "", coords);
        while (!needed.empty()) {
            if (asked) asked->push_back(needed);
            auto it = fields.find(needed);
            if (it == fields.end()) {
                ADD_FAILURE() << "asked for unknown variable " << needed;
                return out;
            }
            std::vector<float> copy = it->second; // freed after the call, as the storage does
            needed = evaluator.continueEvaluatingVariable(std::span<const float>(copy), state);
        }
        EXPECT_TRUE(state.empty());
        return out;
    }

    std::unique_ptr<FakeVariables> vars;
    std::unique_ptr<FakeStore> store;
    std::unique_ptr<FakeCalculator> calc;
    std::unique_ptr<FakeFluids> fluids;
    std::unique_ptr<FakeLocators> locators;
};

inline float single(const std::string& text) { return ExpressionEvaluator::evalSingleValue(text, "").getValue(); }

// Asking for the dimensions of `text` raises the language's error as `expected` says.
inline void expectDimsError(const std::string& text, const ExpectedError& expected) {
    expectError<expressions::eval>([&] { ExpressionEvaluator::getDimensions(text, ""); }, expected);
}

} // namespace zel::test
