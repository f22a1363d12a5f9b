#pragma once
// The expression language: parses an expression once (the compiled form is cached by its
// text until clearExpressionCache), checks its dimensions, and evaluates it for one value
// or over many vertices. docs/expression-language.md describes the language.
//
// Field evaluation is a resumable protocol, so that the caller supplies the values of the
// variables the expression needs one at a time:
//
//   ExpressionEvaluator evaluator;
//   std::string state;
//   std::string needed = evaluator.evaluateVariable(text, values, count, state, "", coords);
//   while (!needed.empty()) {
//       const float* v = ... the count values of the variable named `needed` ...;
//       needed = evaluator.continueEvaluatingVariable(v, state);
//   }
//   // values[0..count) now hold the result in base SI units
//
// The evaluator object keeps the copies of the values it was given and the caller's result
// array between the calls; `state` tells which step comes next, and a state string that does
// not belong to this evaluator's current evaluation is rejected. Each needed variable is
// asked for once. An undefined input value (UNDEFINED_VALUE) gives an undefined result at that
// vertex, as does a result that is not finite (a division by zero, sqrt of a negative number).
//
// Errors are expressions::eval (class "ExpressionEvaluator") naming the expression, the
// position (1-based character index) and the offending part; the host's own errors pass
// through unchanged.
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/expressions/ExpressionTypes.h"
#include "framework/units/Quantity.h"
#include "framework/units/UnitDimensions.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zel {

namespace expr {
struct Program;
}

class ExpressionEvaluator {
public:
    ExpressionEvaluator();
    ~ExpressionEvaluator();
    ExpressionEvaluator(const ExpressionEvaluator&) = delete;
    ExpressionEvaluator& operator=(const ExpressionEvaluator&) = delete;

    // The value of an expression that has one value (numbers, constants, user expressions of
    // them, calculator calls), in base SI units with the base unit text. A field variable or
    // a coordinate is an error. An undefined calculator result gives the undefined quantity.
    // context names what the expression belongs to (an object name) for messages; "" and
    // "expression" add nothing.
    static Quantity evalSingleValue(const std::string& expression, const std::string& context);
    // The dimensions of the expression's value, found without evaluating anything.
    static UnitDimensions getDimensions(const std::string& expression, const std::string& context);
    // The variables the expression needs values of, in the order evaluateVariable asks for them.
    static std::vector<std::string>
    getNeededVariables(const std::string& expression,
                       const ExpressionCoordTransData& coords = ExpressionCoordTransData());
    // The calculator calls of the expression ("areaAve(Pressure)@inlet"; those of the user
    // expressions and constants it uses included), each once, in the order the evaluator
    // makes them; what a calculator call's own expression calls is not among them.
    struct CalculatorCall {
        std::string function, location, expression, axis, fluid;
    };
    static std::vector<CalculatorCall>
    getCalculatorCalls(const std::string& expression,
                       const ExpressionCoordTransData& coords = ExpressionCoordTransData());
    // Forgets every compiled expression (names may mean something else now).
    static void clearExpressionCache();
    // Number of compiled expressions held (for tests and diagnostics).
    static std::size_t expressionCacheSize();
    // True when name can be written in an expression as it is: words of letters, digits and
    // '_' separated by single blanks, the first word starting with a letter or '_'.
    static bool isValidGeniVariable(const std::string& name);

    // Starts evaluating the expression over count vertices into values[0..count). Calculator
    // calls are evaluated here. Returns the name of the first variable whose values are
    // needed, or "" when values is already filled. values must stay valid until the
    // evaluation ends; state is reset.
    std::string evaluateVariable(const std::string& expression, float* values, int count, std::string& state,
                                 const std::string& context, const ExpressionCoordTransData& coords);
    // Takes the count values of the variable the last call asked for (copied or used before
    // returning: the caller may free them afterwards) and returns the next needed name, or
    // "" when the result has been written.
    std::string continueEvaluatingVariable(const float* values, std::string& state);
    // As above, checking that the caller supplied exactly count values (expressions::eval
    // naming the variable and both counts otherwise).
    std::string continueEvaluatingVariable(std::span<const float> values, std::string& state);

private:
    void run(const float* lastInput);
    void fail(const std::string& operation, const std::string& message) const;

    std::shared_ptr<const expr::Program> m_program;
    std::string m_expression;
    std::string m_context;
    float* m_values = nullptr; // the caller's result array (owned by the caller)
    int m_count = 0;
    std::size_t m_next = 0;                   // index of the needed variable asked for last
    std::vector<std::vector<float>> m_inputs; // copies of the inputs received so far
    std::vector<double> m_scalars;            // per-evaluation uniform values (calculator results)
    unsigned long long m_serial = 0;          // identifies this evaluation in the state string
};

} // namespace zel
