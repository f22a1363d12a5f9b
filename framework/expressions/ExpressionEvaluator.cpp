#include "framework/expressions/ExpressionEvaluator.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Undefined.h"
#include "framework/expressions/detail/Compiler.h"
#include "framework/expressions/detail/Program.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace zel {

namespace {

constexpr const char* kClass = "ExpressionEvaluator";

// Compiled expressions by text and coordinate names. Programs are shared, so an evaluation
// keeps its program alive even when the cache is cleared under it (a calculator call can
// clear it while the evaluation that made the call is still running).
struct Cache {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const expr::Program>> programs;
};

Cache& cache() {
    // Never destroyed: host objects registered as interfaces may be destroyed at exit after
    // this, and withdrawing them clears the cache.
    static Cache* c = new Cache;
    return *c;
}

// Beyond this many texts the cache starts afresh, so a session that evaluates many distinct
// texts does not grow without bound.
constexpr std::size_t kMaxCached = 4096;

// Texts being compiled on this thread: compiling one may ask the host for units, which may
// compile another (a user variable's expression); a text met again is a cycle.
thread_local std::vector<std::string> t_compiling;

std::string cacheKey(const std::string& text, const ExpressionCoordTransData& c) {
    std::string key = text;
    for (const std::string* s : {&c.radialName, &c.angleName, &c.axialName, &c.xVariable, &c.yVariable, &c.zVariable}) {
        key += '\x1f';
        key += *s;
    }
    return key;
}

std::shared_ptr<const expr::Program> getProgram(const std::string& text, const ExpressionCoordTransData& coords,
                                                const std::string& operation, const std::string& context) {
    const std::string key = cacheKey(text, coords);
    {
        std::lock_guard<std::mutex> lock(cache().mutex);
        auto it = cache().programs.find(key);
        if (it != cache().programs.end()) return it->second;
    }
    if (std::find(t_compiling.begin(), t_compiling.end(), text) != t_compiling.end()) {
        std::string chain;
        for (const std::string& t : t_compiling) chain.append("'").append(t).append("' -> ");
        throw expressions::eval(
            kClass, operation,
            _("Error in expression '%s': its dimensions depend on itself: %s'%s'.", text, chain, text), ErrError);
    }
    t_compiling.push_back(text);
    std::shared_ptr<const expr::Program> program;
    try {
        program = expr::compileExpression(text, coords, operation, context);
    } catch (...) {
        t_compiling.pop_back();
        throw;
    }
    t_compiling.pop_back();
    std::lock_guard<std::mutex> lock(cache().mutex);
    if (cache().programs.size() >= kMaxCached) cache().programs.clear();
    cache().programs.emplace(key, program);
    return program;
}

// Calculator results in base units.
std::vector<double> evaluateCalls(const expr::Program& p, const std::string& operation) {
    std::vector<double> values;
    values.reserve(p.calls.size());
    for (const expr::CalcCall& c : p.calls) {
        ExpressionCallbacksInterface* calc = ExpressionInterfaces::callbacks();
        if (!calc)
            throw expressions::eval(
                kClass, operation,
                _("Error in expression '%s': no calculator is registered to evaluate '%s'.", p.text, c.function),
                ErrError);
        const Quantity q = calc->evaluate(c.function, c.location, c.expression, c.axis, c.fluid);
        if (q.isUndefined() || !std::isfinite(q.getValue())) {
            values.push_back(static_cast<double>(UNDEFINED_VALUE));
            continue;
        }
        double v = q.getValue();
        if (!q.getUnits().empty()) {
            UnitInfo info;
            try {
                info = UnitsConverter::instance()->parse(q.getUnits());
            } catch (const Error& e) {
                throw expressions::eval(kClass, operation,
                                        _("Error in expression '%s': the units '%s' of %s(%s)@%s cannot be read (%s).",
                                          p.text, q.getUnits(), c.function, c.expression, c.location, e.getMessage()),
                                        ErrError);
            }
            v = v * info.scale + info.offset;
        }
        values.push_back(v);
    }
    return values;
}

// Spare input buffers: an evaluation over many vertices copies all but its last input, and
// fresh allocations of that size cost more in page faults than the copies themselves.
// Per thread, at most kMaxSpareBytes are kept.
constexpr std::size_t kMaxSpareBytes = std::size_t(64) << 20;
thread_local std::vector<std::vector<float>> t_spareBuffers;

std::vector<float> takeBuffer() {
    if (t_spareBuffers.empty()) return {};
    std::vector<float> b = std::move(t_spareBuffers.back());
    t_spareBuffers.pop_back();
    return b;
}

void giveBack(std::vector<std::vector<float>>& buffers) {
    std::size_t kept = 0;
    for (const auto& b : t_spareBuffers) kept += b.capacity() * sizeof(float);
    for (auto& b : buffers) {
        const std::size_t bytes = b.capacity() * sizeof(float);
        if (bytes == 0 || kept + bytes > kMaxSpareBytes) continue;
        kept += bytes;
        b.clear();
        t_spareBuffers.push_back(std::move(b));
    }
    buffers.clear();
}

unsigned long long nextSerial() {
    static unsigned long long serial = 0;
    return ++serial;
}

} // namespace

ExpressionEvaluator::ExpressionEvaluator() = default;
ExpressionEvaluator::~ExpressionEvaluator() { giveBack(m_inputs); }

void ExpressionEvaluator::fail(const std::string& operation, const std::string& message) const {
    throw expressions::eval(kClass, operation, message, ErrError);
}

Quantity ExpressionEvaluator::evalSingleValue(const std::string& expression, const std::string& context) {
    const auto program = getProgram(expression, ExpressionCoordTransData(), "evalSingleValue", context);
    if (!program->inputs.empty())
        throw expressions::eval(
            kClass, "evalSingleValue",
            _("Error in expression '%s': it needs the values of the field variable '%s' and has no single value.",
              expression, program->inputs.front()),
            ErrError);
    const std::vector<double> calls = evaluateCalls(*program, "evalSingleValue");
    const double v = program->evalScalar(program->root, calls);
    if (isUndefined(v) || !(std::fabs(v) < static_cast<double>(UNDEFINED_VALUE))) return Quantity::undefined();
    return Quantity(static_cast<float>(v), UnitsConverter::instance()->getBaseUnitName(program->dims));
}

UnitDimensions ExpressionEvaluator::getDimensions(const std::string& expression, const std::string& context) {
    return getProgram(expression, ExpressionCoordTransData(), "getDimensions", context)->dims;
}

std::vector<std::string> ExpressionEvaluator::getNeededVariables(const std::string& expression,
                                                                 const ExpressionCoordTransData& coords) {
    return getProgram(expression, coords, "getNeededVariables", "")->inputs;
}

std::vector<ExpressionEvaluator::CalculatorCall>
ExpressionEvaluator::getCalculatorCalls(const std::string& expression, const ExpressionCoordTransData& coords) {
    std::vector<CalculatorCall> out;
    for (const expr::CalcCall& c : getProgram(expression, coords, "getCalculatorCalls", "")->calls)
        out.push_back({c.function, c.location, c.expression, c.axis, c.fluid});
    return out;
}

void ExpressionEvaluator::clearExpressionCache() {
    std::lock_guard<std::mutex> lock(cache().mutex);
    cache().programs.clear();
}

std::size_t ExpressionEvaluator::expressionCacheSize() {
    std::lock_guard<std::mutex> lock(cache().mutex);
    return cache().programs.size();
}

bool ExpressionEvaluator::isValidGeniVariable(const std::string& name) {
    if (name.empty()) return false;
    bool wordStart = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == ' ') {
            if (wordStart) // leading blank or two in a row
                return false;
            wordStart = true;
            continue;
        }
        const bool letter =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit) return false;
        if (i == 0 && !letter) return false;
        wordStart = false;
    }
    return !wordStart; // no trailing blank
}

namespace {
std::string stateText(unsigned long long serial, std::size_t next, std::size_t total, const std::string& name) {
    return _("evaluation %llu: variable %d of %d: %s", serial, next + 1, total, name);
}
} // namespace

std::string ExpressionEvaluator::evaluateVariable(const std::string& expression, float* values, int count,
                                                  std::string& state, const std::string& context,
                                                  const ExpressionCoordTransData& coords) {
    state.clear();
    m_program.reset();
    giveBack(m_inputs);
    m_scalars.clear();
    if (count < 0)
        throw internal::badParam(kClass, "evaluateVariable", _("Negative vertex count %d.", count), ErrError);
    if (count > 0 && !values)
        throw internal::nullPointer(kClass, "evaluateVariable", "No array for the results.", ErrError);
    auto program = getProgram(expression, coords, "evaluateVariable", context);
    m_expression = expression;
    m_context = context;
    m_values = values;
    m_count = count;
    m_next = 0;
    m_serial = nextSerial();
    if (count == 0) return std::string();
    m_scalars = evaluateCalls(*program, "evaluateVariable");
    m_program = std::move(program);
    if (m_program->inputs.empty()) {
        run(nullptr);
        return std::string();
    }
    for (std::size_t k = 0; k + 1 < m_program->inputs.size(); ++k) m_inputs.push_back(takeBuffer());
    state = stateText(m_serial, 0, m_program->inputs.size(), m_program->inputs[0]);
    return m_program->inputs[0];
}

std::string ExpressionEvaluator::continueEvaluatingVariable(std::span<const float> values, std::string& state) {
    if (m_program && m_next < m_program->inputs.size() && values.size() != static_cast<std::size_t>(m_count))
        fail("continueEvaluatingVariable",
             _("Error in expression '%s': the variable '%s' has %d values, but %d vertices are evaluated.",
               m_expression, m_program->inputs[m_next], values.size(), m_count));
    return continueEvaluatingVariable(values.data(), state);
}

std::string ExpressionEvaluator::continueEvaluatingVariable(const float* values, std::string& state) {
    if (!m_program || m_next >= m_program->inputs.size() ||
        state != stateText(m_serial, m_next, m_program->inputs.size(), m_program->inputs[m_next]))
        throw internal::error(kClass, "continueEvaluatingVariable",
                              _("No evaluation waits for variable values under the state '%s'.", state), ErrError);
    if (!values)
        throw internal::nullPointer(kClass, "continueEvaluatingVariable",
                                    _("No values given for variable '%s'.", m_program->inputs[m_next]), ErrError);
    const std::size_t total = m_program->inputs.size();
    if (m_next + 1 < total) {
        m_inputs[m_next].assign(values, values + m_count);
        ++m_next;
        state = stateText(m_serial, m_next, total, m_program->inputs[m_next]);
        return m_program->inputs[m_next];
    }
    // The last variable is used in place: the result is computed before the caller frees it.
    run(values);
    state.clear();
    m_next = total;
    giveBack(m_inputs);
    m_program.reset();
    return std::string();
}

void ExpressionEvaluator::run(const float* lastInput) {
    const expr::Program& p = *m_program;
    for (double s : m_scalars) {
        if (isUndefined(s)) { // a calculator call failed: nothing of the result is defined
            std::fill(m_values, m_values + m_count, UNDEFINED_VALUE);
            return;
        }
    }
    std::vector<float> scalars;
    scalars.reserve(p.scalarNodes.size());
    for (int node : p.scalarNodes) {
        const double v = p.evalScalar(node, m_scalars);
        if (!(std::fabs(v) < static_cast<double>(UNDEFINED_VALUE))) {
            // A uniform part that is undefined or not finite (1/0) leaves no vertex defined.
            std::fill(m_values, m_values + m_count, UNDEFINED_VALUE);
            return;
        }
        scalars.push_back(static_cast<float>(v));
    }
    std::vector<const float*> inputs;
    inputs.reserve(p.inputs.size());
    for (const auto& v : m_inputs) inputs.push_back(v.data());
    if (!p.inputs.empty()) inputs.push_back(lastInput);
    p.run(inputs.data(), scalars.data(), m_values, m_count);
}

} // namespace zel
