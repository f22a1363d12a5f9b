#include "framework/expressions/detail/Compiler.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/expressions/detail/Ast.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zel::expr {

std::string describeDimensions(const UnitDimensions& dims) {
    if (dims.isDimensionless()) return "dimensionless";
    return _("[%s]", UnitsConverter::instance()->getBaseUnitName(dims));
}

namespace {

// The text that positions refer to, and how it came into the expression being compiled.
struct Source {
    std::string text;
    std::string origin; // appended to "in expression '<text>'"
};

struct VarRef {
    std::string needed;
    UnitDimensions dims;
};

struct Builtin {
    const char* name;
    Op op;
    int minArgs;
    int maxArgs;
};

constexpr Builtin kBuiltins[] = {
    {"sqrt", Op::Sqrt, 1, 1},   {"abs", Op::Abs, 1, 1},   {"exp", Op::Exp, 1, 1},   {"loge", Op::Loge, 1, 1},
    {"log10", Op::Log10, 1, 1}, {"sin", Op::Sin, 1, 1},   {"cos", Op::Cos, 1, 1},   {"tan", Op::Tan, 1, 1},
    {"asin", Op::Asin, 1, 1},   {"acos", Op::Acos, 1, 1}, {"atan", Op::Atan, 1, 1}, {"atan2", Op::Atan2, 2, 2},
    {"min", Op::Min, 2, 64},    {"max", Op::Max, 2, 64},  {"step", Op::Step, 1, 1}, {"if", Op::Select, 3, 3},
};

const Builtin* findBuiltin(const std::string& name) {
    for (const Builtin& b : kBuiltins)
        if (name == b.name) return &b;
    return nullptr;
}

UnitDimensions lengthDims() { return UnitDimensions(0.0, 1.0, 0.0); }
UnitDimensions angleDims() { return UnitDimensions(0.0, 0.0, 0.0, 0.0, 1.0); }

std::string trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += sep;
        out += parts[i];
    }
    return out;
}

// Segments of the first `count` words: blank-joined words form one segment, '.' starts the next.
std::vector<std::string> segmentsOf(const std::vector<Word>& words, std::size_t count) {
    std::vector<std::string> segs;
    for (std::size_t i = 0; i < count; ++i) {
        if (i == 0 || words[i].dotBefore)
            segs.push_back(words[i].text);
        else
            segs.back().append(" ").append(words[i].text);
    }
    return segs;
}

class Compiler {
public:
    Compiler(const ExpressionCoordTransData& coords, std::string operation, std::string context)
        : m_coords(coords), m_operation(std::move(operation)), m_context(std::move(context)) {}

    std::shared_ptr<Program> compileTop(const std::string& text) {
        auto prog = std::make_shared<Program>();
        prog->text = text;
        m_prog = prog.get();
        Source src{text, m_context.empty() || m_context == "expression" || m_context == text
                             ? std::string()
                             : _(" (of '%s')", m_context)};
        auto ast = parse(src);
        prog->root = compile(*ast, src);
        prog->dims = prog->nodes[static_cast<std::size_t>(prog->root)].dims;
        prog->lower();
        return prog;
    }

private:
    [[noreturn]] void fail(const Source& src, int pos, const char* category, const std::string& detail) const {
        throw expressions::eval(
            "ExpressionEvaluator", m_operation,
            _("%s in expression '%s'%s at position %d: %s.", category, src.text, src.origin, pos + 1, detail),
            ErrError);
    }

    std::unique_ptr<AstNode> parse(const Source& src) const {
        try {
            return parseExpression(src.text);
        } catch (const SyntaxError& e) {
            fail(src, e.pos, "Syntax error", e.message);
        }
    }

    static std::string snippet(const Source& src, const AstNode& n) {
        return trimmed(std::string_view(src.text).substr(static_cast<std::size_t>(n.pos),
                                                         static_cast<std::size_t>(n.end - n.pos)));
    }
    static std::string described(const Source& src, const AstNode& n, const UnitDimensions& d) {
        return _("'%s' %s", snippet(src, n), describeDimensions(d));
    }

    const IRNode& node(int i) const { return m_prog->nodes[static_cast<std::size_t>(i)]; }

    int makeConst(double v, const UnitDimensions& dims) {
        IRNode n;
        n.kind = IRNode::Const;
        n.value = v;
        n.dims = dims;
        return m_prog->addNode(n);
    }

    // An operation node; folded into a constant when every operand is constant.
    int makeOp(Op op, int n, std::initializer_list<int> args, const UnitDimensions& dims) {
        IRNode out;
        out.kind = IRNode::Operation;
        out.op = op;
        out.n = n;
        out.dims = dims;
        bool allConst = true;
        double values[3] = {0.0, 0.0, 0.0};
        for (int a : args) {
            const IRNode& arg = node(a);
            out.args[out.nargs] = a;
            values[out.nargs] = arg.value;
            ++out.nargs;
            out.field = out.field || arg.field;
            out.constant = out.constant && arg.constant;
            allConst = allConst && arg.kind == IRNode::Const;
        }
        if (allConst) return makeConst(applyScalar(op, n, values), dims);
        return m_prog->addNode(out);
    }

    int makeInput(const std::string& name, const UnitDimensions& dims) {
        auto& inputs = m_prog->inputs;
        auto it = std::find(inputs.begin(), inputs.end(), name);
        int index = static_cast<int>(it - inputs.begin());
        if (it == inputs.end()) inputs.push_back(name);
        IRNode n;
        n.kind = IRNode::Input;
        n.index = index;
        n.field = true;
        n.constant = false;
        n.dims = dims;
        return m_prog->addNode(n);
    }

    UnitDimensions dimsOfUnits(const std::string& units, const Source& src, int pos, const std::string& what) const {
        if (units.empty()) return UnitDimensions();
        try {
            return UnitsConverter::instance()->dimsFromUnits(units);
        } catch (const Error& e) {
            fail(src, pos, "Error", _("the units '%s' of %s cannot be read (%s)", units, what, e.getMessage()));
        }
    }

    int compile(const AstNode& n, const Source& src) {
        switch (n.kind) {
        case AstNode::Number: return compileNumber(n, src);
        case AstNode::Name: return compileName(n, src);
        case AstNode::Unary: return compileUnary(n, src);
        case AstNode::Binary: return compileBinary(n, src);
        case AstNode::Call: return compileCall(n, src);
        }
        fail(src, n.pos, "Error", "unknown kind of expression");
    }

    int compileNumber(const AstNode& n, const Source& src) {
        if (!n.hasUnits) return makeConst(n.number, UnitDimensions());
        UnitInfo info;
        try {
            info = UnitsConverter::instance()->parse(n.units);
        } catch (const Error& e) {
            fail(src, n.unitsPos, "Error", _("cannot read the units '%s' (%s)", n.units, e.getMessage()));
        }
        return makeConst(n.number * info.scale + info.offset, info.dims);
    }

    int compileUnary(const AstNode& n, const Source& src) {
        const int a = compile(*n.args[0], src);
        switch (n.op) {
        case Tok::Plus: return a;
        case Tok::Minus: return makeOp(Op::Neg, 0, {a}, node(a).dims);
        default: return makeOp(Op::Not, 0, {a}, UnitDimensions());
        }
    }

    int compileBinary(const AstNode& n, const Source& src) {
        if (n.op == Tok::Caret) return compilePower(n, src);
        const int a = compile(*n.args[0], src);
        const int b = compile(*n.args[1], src);
        const UnitDimensions da = node(a).dims;
        const UnitDimensions db = node(b).dims;
        const AstNode& l = *n.args[0];
        const AstNode& r = *n.args[1];
        auto sameDims = [&](const char* verb, const char* joiner) {
            if (da != db)
                fail(src, n.opPos, "Dimension error",
                     _("cannot %s %s %s %s", verb, described(src, l, da), joiner, described(src, r, db)));
        };
        switch (n.op) {
        case Tok::Plus: sameDims("add", "and"); return makeOp(Op::Add, 0, {a, b}, da);
        case Tok::Minus: sameDims("subtract", "from"); return makeOp(Op::Sub, 0, {a, b}, da);
        case Tok::Star: return makeOp(Op::Mul, 0, {a, b}, da + db);
        case Tok::Slash: return makeOp(Op::Div, 0, {a, b}, da - db);
        case Tok::AndAnd: return makeOp(Op::And, 0, {a, b}, UnitDimensions());
        case Tok::OrOr: return makeOp(Op::Or, 0, {a, b}, UnitDimensions());
        default: break;
        }
        sameDims("compare", "with");
        Op op = Op::Less;
        switch (n.op) {
        case Tok::Less: op = Op::Less; break;
        case Tok::LessEq: op = Op::LessEq; break;
        case Tok::Greater: op = Op::Greater; break;
        case Tok::GreaterEq: op = Op::GreaterEq; break;
        case Tok::EqEq: op = Op::Equal; break;
        default: op = Op::NotEqual; break;
        }
        return makeOp(op, 0, {a, b}, UnitDimensions());
    }

    int compilePower(const AstNode& n, const Source& src) {
        const int a = compile(*n.args[0], src);
        const int b = compile(*n.args[1], src);
        const IRNode& base = node(a);
        const IRNode& exponent = node(b);
        const UnitDimensions baseDims = base.dims;
        if (!exponent.dims.isDimensionless())
            fail(src, n.args[1]->pos, "Dimension error",
                 _("the exponent %s must be dimensionless", described(src, *n.args[1], exponent.dims)));
        const bool constExp = exponent.kind == IRNode::Const;
        const double e = exponent.value;
        const bool whole = constExp && std::fabs(e) <= 1e9 && e == std::floor(e);
        if (!baseDims.isDimensionless()) {
            if (!constExp)
                fail(src, n.opPos, "Dimension error",
                     _("%s may only be raised to a constant power, not to '%s'", described(src, *n.args[0], baseDims),
                       snippet(src, *n.args[1])));
            if (!whole)
                fail(src, n.opPos, "Dimension error",
                     _("non-integer power %s of the dimensional value %s", snippet(src, *n.args[1]),
                       described(src, *n.args[0], baseDims)));
        }
        if (whole) return makeOp(Op::PowInt, static_cast<int>(e), {a}, baseDims * e);
        return makeOp(Op::Pow, 0, {a, b}, UnitDimensions());
    }

    // ---- names ----

    int compileName(const AstNode& n, const Source& src) {
        const auto& words = n.words;
        for (std::size_t count = words.size(); count >= 1; --count) {
            std::optional<int> r = resolveName(segmentsOf(words, count), src, n.pos);
            if (!r) continue;
            if (count < words.size()) {
                std::string known = join(segmentsOf(words, count), ".");
                std::string rest = trimmed(std::string_view(src.text).substr(
                    static_cast<std::size_t>(words[count].pos), static_cast<std::size_t>(n.end - words[count].pos)));
                fail(src, words[count].pos, "Syntax error",
                     _("unexpected '%s' after the name '%s' (missing operator?)", rest, known));
            }
            return *r;
        }
        fail(src, n.pos, "Unknown name",
             _("'%s' is no variable, user expression, constant or coordinate",
               join(segmentsOf(words, words.size()), ".")));
    }

    std::optional<int> resolveName(const std::vector<std::string>& segs, const Source& src, int pos) {
        const std::string text = join(segs, ".");
        if (ExpressionStoreInterface* store = ExpressionInterfaces::store()) {
            if (const ExpressionDef* def = store->getExpression(text))
                return inlineDefinition("user expression", text, def->expression, src, pos);
            const auto& constants = store->getConstants();
            auto it = constants.find(text);
            if (it != constants.end()) return inlineDefinition("constant", text, it->second, src, pos);
        }
        if (std::optional<VarRef> v = resolveVariable(segs, src, pos)) return makeInput(v->needed, v->dims);
        if (segs.size() == 1 && segs[0].find(' ') == std::string::npos) return coordinate(segs[0]);
        return std::nullopt;
    }

    std::optional<int> coordinate(const std::string& name) {
        if (name == "x") return makeInput(m_coords.xVariable, lengthDims());
        if (name == "y") return makeInput(m_coords.yVariable, lengthDims());
        if (name == "z" || name == m_coords.axialName) return makeInput(m_coords.zVariable, lengthDims());
        if (name == m_coords.radialName) {
            const int x2 = makeOp(Op::PowInt, 2, {makeInput(m_coords.xVariable, lengthDims())}, lengthDims() * 2.0);
            const int y2 = makeOp(Op::PowInt, 2, {makeInput(m_coords.yVariable, lengthDims())}, lengthDims() * 2.0);
            return makeOp(Op::Sqrt, 0, {makeOp(Op::Add, 0, {x2, y2}, lengthDims() * 2.0)}, lengthDims());
        }
        if (name == m_coords.angleName) {
            const int y = makeInput(m_coords.yVariable, lengthDims());
            const int x = makeInput(m_coords.xVariable, lengthDims());
            return makeOp(Op::Atan2, 0, {y, x}, angleDims());
        }
        return std::nullopt;
    }

    const ExpressionVariableInfo* lookupVariable(ExpressionVariablesInterface* vars, const std::string& name) {
        try {
            return vars->getVariable(name, true);
        } catch (const Error&) {
            // A list with units could not be built (a variable without known units):
            // the list without units still tells what the name means.
            return vars->getVariable(name, false);
        }
    }

    // A variable name, possibly with a phase prefix ("Water."), an operator suffix
    // (".Gradient X") or a component word (" X"), the longest known form first.
    std::optional<VarRef> resolveVariable(const std::vector<std::string>& segs, const Source& src, int pos) {
        ExpressionVariablesInterface* vars = ExpressionInterfaces::variables();
        if (!vars || segs.empty()) return std::nullopt;
        const std::string text = join(segs, ".");
        if (const ExpressionVariableInfo* info = lookupVariable(vars, text)) {
            const std::string target = info->variable.empty() ? text : info->variable;
            std::string units = info->units;
            if (units.empty()) {
                try {
                    units = vars->getBaseUnits(target, true);
                } catch (const data::notFound&) {
                    units.clear(); // no units known: dimensionless
                }
            }
            return VarRef{target, dimsOfUnits(units, src, pos, _("the variable '%s'", target))};
        }
        if (segs.size() >= 2) {
            if (vars->isVariablePrefix(segs.front())) {
                std::vector<std::string> rest(segs.begin() + 1, segs.end());
                if (auto r = resolveVariable(rest, src, pos))
                    return VarRef{_("%s.%s", segs.front(), r->needed), r->dims};
            }
            ExpressionVariablesInterface::SuffixEffect effect;
            if (vars->isVariableSuffix(segs.back(), effect)) {
                std::vector<std::string> head(segs.begin(), segs.end() - 1);
                if (auto r = resolveVariable(head, src, pos)) {
                    UnitDimensions dims = r->dims;
                    if (effect.code == ExpressionVariablesInterface::SuffixEffect::Dimensionless)
                        dims = UnitDimensions();
                    else if (effect.code == ExpressionVariablesInterface::SuffixEffect::ApplyUnits)
                        dims = dims + dimsOfUnits(effect.units, src, pos, _("the operator '%s'", segs.back()));
                    return VarRef{_("%s.%s", r->needed, segs.back()), dims};
                }
            }
        }
        const std::string& last = segs.back();
        const std::size_t blank = last.rfind(' ');
        if (blank != std::string::npos) {
            const std::string comp = last.substr(blank + 1);
            if (comp == "X" || comp == "Y" || comp == "Z") {
                std::vector<std::string> vec = segs;
                vec.back() = last.substr(0, blank);
                if (auto r = resolveVariable(vec, src, pos)) return VarRef{_("%s %s", r->needed, comp), r->dims};
            }
        }
        return std::nullopt;
    }

    int inlineDefinition(const char* kind, const std::string& name, const std::string& text, const Source& src,
                         int pos) {
        const std::string key = _("%s\n%s", kind, name);
        if (std::find(m_chain.begin(), m_chain.end(), key) != m_chain.end()) {
            std::string cycle;
            bool on = false;
            for (const std::string& k : m_chain) {
                on = on || k == key;
                if (on) cycle += _("'%s' -> ", k.substr(k.find('\n') + 1));
            }
            cycle += _("'%s'", name);
            fail(src, pos, "Error", _("the %s '%s' refers to itself: %s", kind, name, cycle));
        }
        m_chain.push_back(key);
        Source inner{text, _(" (%s '%s', used in '%s')", kind, name, src.text)};
        auto ast = parse(inner);
        const int result = compile(*ast, inner);
        m_chain.pop_back();
        return result;
    }

    // ---- calls ----

    int compileCall(const AstNode& n, const Source& src) {
        const std::vector<std::string> segs = segmentsOf(n.words, n.words.size());
        const std::string& callee = segs.back();
        if (segs.size() == 1) {
            if (const Builtin* b = findBuiltin(callee)) {
                if (n.hasLocation)
                    fail(src, n.locationPos - 1, "Syntax error",
                         _("'%s' is a built-in function; only calculator functions take '@location'", callee));
                return compileBuiltin(*b, n, src);
            }
        }
        return compileCalculatorCall(n, src, segs);
    }

    int compileBuiltin(const Builtin& b, const AstNode& n, const Source& src) {
        const int count = static_cast<int>(n.args.size());
        if (count < b.minArgs || count > b.maxArgs) {
            const std::string expected = b.minArgs == b.maxArgs ? _("%d", b.minArgs) : _("at least %d", b.minArgs);
            fail(src, n.pos, "Syntax error",
                 _("'%s' takes %s argument%s, not %d", b.name, expected, b.minArgs == 1 ? "" : "s", count));
        }
        std::vector<int> a;
        for (const auto& arg : n.args) a.push_back(compile(*arg, src));
        auto dims = [&](int k) { return node(a[static_cast<std::size_t>(k)]).dims; };
        auto needDimensionless = [&](int k, bool angleToo) {
            const UnitDimensions d = dims(k);
            if (d.isDimensionless() || (angleToo && d == angleDims())) return;
            fail(src, n.args[static_cast<std::size_t>(k)]->pos, "Dimension error",
                 _("'%s' needs a dimensionless%s argument, but %s", b.name, angleToo ? " or angle" : "",
                   described(src, *n.args[static_cast<std::size_t>(k)], d)));
        };
        auto needSame = [&](int i, int j) {
            if (dims(i) != dims(j))
                fail(src, n.args[static_cast<std::size_t>(j)]->pos, "Dimension error",
                     _("the arguments of '%s' differ in dimensions: %s and %s", b.name,
                       described(src, *n.args[static_cast<std::size_t>(i)], dims(i)),
                       described(src, *n.args[static_cast<std::size_t>(j)], dims(j))));
        };
        switch (b.op) {
        case Op::Sqrt: return makeOp(Op::Sqrt, 0, {a[0]}, dims(0) * 0.5);
        case Op::Abs: return makeOp(Op::Abs, 0, {a[0]}, dims(0));
        case Op::Sin:
        case Op::Cos:
        case Op::Tan: needDimensionless(0, true); return makeOp(b.op, 0, {a[0]}, UnitDimensions());
        case Op::Atan2: needSame(0, 1); return makeOp(Op::Atan2, 0, {a[0], a[1]}, UnitDimensions());
        case Op::Min:
        case Op::Max: {
            int acc = a[0];
            for (int k = 1; k < count; ++k) {
                needSame(0, k);
                acc = makeOp(b.op, 0, {acc, a[static_cast<std::size_t>(k)]}, dims(0));
            }
            return acc;
        }
        case Op::Select: needSame(1, 2); return makeOp(Op::Select, 0, {a[0], a[1], a[2]}, dims(1));
        default: needDimensionless(0, false); return makeOp(b.op, 0, {a[0]}, UnitDimensions());
        }
    }

    int compileCalculatorCall(const AstNode& n, const Source& src, const std::vector<std::string>& segs) {
        const std::string& word = segs.back();
        const int fnPos = n.words.back().pos;
        ExpressionCallbacksInterface* calc = ExpressionInterfaces::callbacks();
        if (word.find(' ') != std::string::npos || !calc)
            fail(src, fnPos, "Unknown name", _("'%s' is no function", word));
        std::string function = word;
        std::string axis;
        const FunctionInfo* info = calc->getFunctionInfo(word);
        const std::size_t underscore = word.find('_');
        if (!info && underscore != std::string::npos && underscore > 0) {
            function = word.substr(0, underscore);
            axis = word.substr(underscore + 1);
            info = calc->getFunctionInfo(function);
        }
        if (!info) fail(src, fnPos, "Unknown name", _("'%s' is no function", word));
        std::vector<std::string> prefix(segs.begin(), segs.end() - 1);
        const std::string fluid = join(prefix, ".");

        if (!axis.empty() && info->axisArg == ArgumentUse::NotTaken)
            fail(src, fnPos, "Error", _("'%s' takes no axis (written '%s_%s')", function, function, axis));
        if (axis.empty() && info->axisArg == ArgumentUse::Required)
            fail(src, fnPos, "Error", _("'%s' needs an axis, for example '%s_x()@Location'", function, function));
        if (!fluid.empty()) {
            if (info->fluidArg == ArgumentUse::NotTaken)
                fail(src, n.pos, "Error", _("'%s' takes no fluid (written '%s.%s')", function, fluid, function));
            if (ExpressionFluidsInterface* fluids = ExpressionInterfaces::fluids()) {
                const std::vector<std::string> names = fluids->getFluidNames();
                if (fluid != "All Fluids" && std::find(names.begin(), names.end(), fluid) == names.end())
                    fail(src, n.pos, "Unknown name", _("'%s' is no fluid", fluid));
            }
        }
        const int count = static_cast<int>(n.args.size());
        if (info->expressionArg == ArgumentUse::NotTaken && count > 0)
            fail(src, n.argsPos, "Syntax error", _("'%s' takes no expression: write '%s()@Location'", function, word));
        if (info->expressionArg == ArgumentUse::Required && count == 0)
            fail(src, n.argsPos, "Syntax error",
                 _("'%s' needs an expression: '%s(Expression)@Location'", function, word));
        if (count > 1)
            fail(src, n.args[1]->pos - 1, "Syntax error", _("'%s' takes one expression, not %d", function, count));
        if (!n.hasLocation)
            fail(src, n.pos, "Syntax error",
                 _("the calculator function '%s' needs a location: '%s(...)@Location'", function, word));
        if (ExpressionLocatorsInterface* locators = ExpressionInterfaces::locators()) {
            // Paths are the calculator's to look up.
            const bool path = n.location.find_first_of("/:") != std::string::npos;
            if (!path && !locators->isLocator(n.location))
                fail(src, n.locationPos, "Unknown name", _("'%s' is no location", n.location));
        }

        CalcCall call;
        call.function = function;
        call.location = n.location;
        call.axis = axis;
        call.fluid = fluid;
        UnitDimensions dims = info->dimensions;
        if (count == 1) {
            call.expression = trimmed(std::string_view(src.text).substr(
                static_cast<std::size_t>(n.argsPos), static_cast<std::size_t>(n.argsEnd - n.argsPos)));
            dims = dims + dimensionsOnly(*n.args[0], src);
        }
        auto& calls = m_prog->calls;
        auto it = std::find(calls.begin(), calls.end(), call);
        const int index = static_cast<int>(it - calls.begin());
        if (it == calls.end()) calls.push_back(call);
        IRNode r;
        r.kind = IRNode::CalcResult;
        r.index = index;
        r.constant = false;
        r.dims = dims;
        return m_prog->addNode(r);
    }

    // The argument of a calculator call is evaluated by the calculator on its location; here
    // only its dimensions matter, so it is compiled into a program that is thrown away.
    UnitDimensions dimensionsOnly(const AstNode& n, const Source& src) {
        Program scratch;
        Program* outer = m_prog;
        m_prog = &scratch;
        try {
            const int r = compile(n, src);
            m_prog = outer;
            return scratch.nodes[static_cast<std::size_t>(r)].dims;
        } catch (...) {
            m_prog = outer;
            throw;
        }
    }

    ExpressionCoordTransData m_coords;
    std::string m_operation;
    std::string m_context;
    Program* m_prog = nullptr;        // the program being built (owned by compileTop's caller)
    std::vector<std::string> m_chain; // user expressions and constants being expanded
};

} // namespace

std::shared_ptr<Program> compileExpression(const std::string& text, const ExpressionCoordTransData& coords,
                                           const std::string& operation, const std::string& context) {
    Compiler compiler(coords, operation, context);
    return compiler.compileTop(text);
}

} // namespace zel::expr
