#pragma once
// The operations of compiled expressions, each a small function object used both by the
// block evaluator (float, over arrays) and by constant folding and single values (double),
// so that both follow the same rules.
#include <cmath>
#include <cstdint>

namespace zel::expr {

enum class Op : std::uint8_t {
    // one operand
    Neg,
    Not,
    Sqrt,
    Abs,
    Exp,
    Loge,
    Log10,
    Sin,
    Cos,
    Tan,
    Asin,
    Acos,
    Atan,
    Step,
    PowInt,
    // two operands
    Add,
    Sub,
    Mul,
    Div,
    Pow,
    Less,
    LessEq,
    Greater,
    GreaterEq,
    Equal,
    NotEqual,
    And,
    Or,
    Min,
    Max,
    Atan2,
    // three operands
    Select
};

inline int arity(Op op) {
    if (op <= Op::PowInt) return 1;
    if (op <= Op::Atan2) return 2;
    return 3;
}

const char* opName(Op op);

// Unary operations.
struct NegF {
    template <class T> T operator()(T a) const { return -a; }
};
struct NotF {
    template <class T> T operator()(T a) const { return a == T(0) ? T(1) : T(0); }
};
struct SqrtF {
    template <class T> T operator()(T a) const { return std::sqrt(a); }
};
struct AbsF {
    template <class T> T operator()(T a) const { return std::fabs(a); }
};
struct ExpF {
    template <class T> T operator()(T a) const { return std::exp(a); }
};
struct LogeF {
    template <class T> T operator()(T a) const { return std::log(a); }
};
struct Log10F {
    template <class T> T operator()(T a) const { return std::log10(a); }
};
struct SinF {
    template <class T> T operator()(T a) const { return std::sin(a); }
};
struct CosF {
    template <class T> T operator()(T a) const { return std::cos(a); }
};
struct TanF {
    template <class T> T operator()(T a) const { return std::tan(a); }
};
struct AsinF {
    template <class T> T operator()(T a) const { return std::asin(a); }
};
struct AcosF {
    template <class T> T operator()(T a) const { return std::acos(a); }
};
struct AtanF {
    template <class T> T operator()(T a) const { return std::atan(a); }
};
// step(x): 1 above zero, 0 below, one half at zero.
struct StepF {
    template <class T> T operator()(T a) const { return a > T(0) ? T(1) : (a < T(0) ? T(0) : T(0.5)); }
};
// x^n for a whole n known when compiling.
struct PowIntF {
    int n;
    template <class T> T operator()(T a) const {
        if (n == 2) return a * a;
        if (n == 3) return a * a * a;
        unsigned k = static_cast<unsigned>(n < 0 ? -static_cast<long long>(n) : n);
        T r = T(1), b = a;
        while (k) {
            if (k & 1u) r *= b;
            b *= b;
            k >>= 1;
        }
        return n < 0 ? T(1) / r : r;
    }
};

// Binary operations.
struct AddF {
    template <class T> T operator()(T a, T b) const { return a + b; }
};
struct SubF {
    template <class T> T operator()(T a, T b) const { return a - b; }
};
struct MulF {
    template <class T> T operator()(T a, T b) const { return a * b; }
};
struct DivF {
    template <class T> T operator()(T a, T b) const { return a / b; }
};
struct PowF {
    template <class T> T operator()(T a, T b) const { return std::pow(a, b); }
};
struct LessF {
    template <class T> T operator()(T a, T b) const { return a < b ? T(1) : T(0); }
};
struct LessEqF {
    template <class T> T operator()(T a, T b) const { return a <= b ? T(1) : T(0); }
};
struct GreaterF {
    template <class T> T operator()(T a, T b) const { return a > b ? T(1) : T(0); }
};
struct GreaterEqF {
    template <class T> T operator()(T a, T b) const { return a >= b ? T(1) : T(0); }
};
struct EqualF {
    template <class T> T operator()(T a, T b) const { return a == b ? T(1) : T(0); }
};
struct NotEqualF {
    template <class T> T operator()(T a, T b) const { return a != b ? T(1) : T(0); }
};
struct AndF {
    template <class T> T operator()(T a, T b) const { return (a != T(0) && b != T(0)) ? T(1) : T(0); }
};
struct OrF {
    template <class T> T operator()(T a, T b) const { return (a != T(0) || b != T(0)) ? T(1) : T(0); }
};
struct MinF {
    template <class T> T operator()(T a, T b) const { return b < a ? b : a; }
};
struct MaxF {
    template <class T> T operator()(T a, T b) const { return a < b ? b : a; }
};
struct Atan2F {
    template <class T> T operator()(T y, T x) const { return std::atan2(y, x); }
};

// Calls f with the function object of a unary operation.
template <class Fn> decltype(auto) withUnary(Op op, int n, Fn&& f) {
    switch (op) {
    case Op::Neg: return f(NegF{});
    case Op::Not: return f(NotF{});
    case Op::Sqrt: return f(SqrtF{});
    case Op::Abs: return f(AbsF{});
    case Op::Exp: return f(ExpF{});
    case Op::Loge: return f(LogeF{});
    case Op::Log10: return f(Log10F{});
    case Op::Sin: return f(SinF{});
    case Op::Cos: return f(CosF{});
    case Op::Tan: return f(TanF{});
    case Op::Asin: return f(AsinF{});
    case Op::Acos: return f(AcosF{});
    case Op::Atan: return f(AtanF{});
    case Op::Step: return f(StepF{});
    default: return f(PowIntF{n});
    }
}

template <class Fn> decltype(auto) withBinary(Op op, Fn&& f) {
    switch (op) {
    case Op::Add: return f(AddF{});
    case Op::Sub: return f(SubF{});
    case Op::Mul: return f(MulF{});
    case Op::Div: return f(DivF{});
    case Op::Pow: return f(PowF{});
    case Op::Less: return f(LessF{});
    case Op::LessEq: return f(LessEqF{});
    case Op::Greater: return f(GreaterF{});
    case Op::GreaterEq: return f(GreaterEqF{});
    case Op::Equal: return f(EqualF{});
    case Op::NotEqual: return f(NotEqualF{});
    case Op::And: return f(AndF{});
    case Op::Or: return f(OrF{});
    case Op::Min: return f(MinF{});
    case Op::Max: return f(MaxF{});
    default: return f(Atan2F{});
    }
}

// The value of one operation on doubles (folding and single values).
inline double applyScalar(Op op, int n, const double* a) {
    switch (arity(op)) {
    case 1: return withUnary(op, n, [&](auto f) { return f(a[0]); });
    case 2: return withBinary(op, [&](auto f) { return f(a[0], a[1]); });
    default: return a[0] != 0.0 ? a[1] : a[2];
    }
}

} // namespace zel::expr
