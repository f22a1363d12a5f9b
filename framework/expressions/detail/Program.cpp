#include "framework/expressions/detail/Program.h"

#include "framework/core/Undefined.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <memory>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZEL_EXPR_SSE2 1
#endif

namespace zel::expr {

const char* opName(Op op) {
    switch (op) {
    case Op::Neg: return "-";
    case Op::Not: return "!";
    case Op::Sqrt: return "sqrt";
    case Op::Abs: return "abs";
    case Op::Exp: return "exp";
    case Op::Loge: return "loge";
    case Op::Log10: return "log10";
    case Op::Sin: return "sin";
    case Op::Cos: return "cos";
    case Op::Tan: return "tan";
    case Op::Asin: return "asin";
    case Op::Acos: return "acos";
    case Op::Atan: return "atan";
    case Op::Step: return "step";
    case Op::PowInt: return "^";
    case Op::Add: return "+";
    case Op::Sub: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::Pow: return "^";
    case Op::Less: return "<";
    case Op::LessEq: return "<=";
    case Op::Greater: return ">";
    case Op::GreaterEq: return ">=";
    case Op::Equal: return "==";
    case Op::NotEqual: return "!=";
    case Op::And: return "&&";
    case Op::Or: return "||";
    case Op::Min: return "min";
    case Op::Max: return "max";
    case Op::Atan2: return "atan2";
    case Op::Select: return "if";
    }
    return "?";
}

namespace {

class Lowering {
public:
    explicit Lowering(Program& p) : m_p(p) {}

    Operand lower(int i) {
        const IRNode& node = m_p.nodes[static_cast<std::size_t>(i)];
        if (node.kind == IRNode::Input) return Operand{Operand::Input, node.index};
        if (!node.field) return Operand{Operand::Scalar, scalarSlot(i)};
        Instr in;
        in.op = node.op;
        in.n = node.n;
        in.nargs = node.nargs;
        for (int k = 0; k < node.nargs; ++k) in.a[k] = lower(node.args[k]);
        // The result gets a register of its own so that no operand aliases it.
        in.dst = allocate();
        for (int k = 0; k < node.nargs; ++k)
            if (in.a[k].kind == Operand::Reg) m_free.push_back(in.a[k].index);
        m_p.code.push_back(in);
        return Operand{Operand::Reg, in.dst};
    }

private:
    int scalarSlot(int node) {
        auto it = std::find(m_p.scalarNodes.begin(), m_p.scalarNodes.end(), node);
        if (it != m_p.scalarNodes.end()) return static_cast<int>(it - m_p.scalarNodes.begin());
        m_p.scalarNodes.push_back(node);
        return static_cast<int>(m_p.scalarNodes.size()) - 1;
    }
    int allocate() {
        if (!m_free.empty()) {
            const int r = m_free.back();
            m_free.pop_back();
            return r;
        }
        return m_p.numRegs++;
    }

    Program& m_p;
    std::vector<int> m_free;
};

constexpr float kU = UNDEFINED_VALUE;

// The block kernels. Each runs one operation over n values; the function objects inline,
// so the simple ones vectorise.
template <class F> void unaryBlock(F f, const float* __restrict a, float* __restrict d, int n) {
    for (int i = 0; i < n; ++i) d[i] = f(a[i]);
}
template <class F>
void binaryVV(F f, const float* __restrict a, const float* __restrict b, float* __restrict d, int n) {
    for (int i = 0; i < n; ++i) d[i] = f(a[i], b[i]);
}
template <class F> void binaryVS(F f, const float* __restrict a, float s, float* __restrict d, int n) {
    for (int i = 0; i < n; ++i) d[i] = f(a[i], s);
}
template <class F> void binarySV(F f, float s, const float* __restrict b, float* __restrict d, int n) {
    for (int i = 0; i < n; ++i) d[i] = f(s, b[i]);
}
// sqrt gets its own kernel: with errno semantics the compiler keeps std::sqrt scalar.
void sqrtBlock(const float* __restrict a, float* __restrict d, int n) {
    int i = 0;
#ifdef ZEL_EXPR_SSE2
    for (; i + 4 <= n; i += 4) _mm_storeu_ps(d + i, _mm_sqrt_ps(_mm_loadu_ps(a + i)));
#endif
    for (; i < n; ++i) d[i] = std::sqrt(a[i]);
}
void squareBlock(const float* __restrict a, float* __restrict d, int n) {
    for (int i = 0; i < n; ++i) d[i] = a[i] * a[i];
}
void unaryOp(Op op, int power, const float* a, float* d, int n) {
    if (op == Op::Sqrt)
        sqrtBlock(a, d, n);
    else if (op == Op::PowInt && power == 2)
        squareBlock(a, d, n);
    else
        withUnary(op, power, [&](auto f) { unaryBlock(f, a, d, n); });
}
// m[i] becomes non-zero where x[i] is undefined.
void markUndefined(const float* __restrict x, std::uint32_t* __restrict m, int n) {
    int i = 0;
#ifdef ZEL_EXPR_SSE2
    const __m128 u = _mm_set1_ps(kU);
    for (; i + 4 <= n; i += 4) {
        const __m128i hit = _mm_castps_si128(_mm_cmpeq_ps(_mm_loadu_ps(x + i), u));
        __m128i* p = reinterpret_cast<__m128i*>(m + i);
        _mm_storeu_si128(p, _mm_or_si128(_mm_loadu_si128(p), hit));
    }
#endif
    for (; i < n; ++i) m[i] |= x[i] == kU ? ~0u : 0u;
}
// The result block: undefined where marked or where the value is not finite.
void storeResult(const float* __restrict r, const std::uint32_t* __restrict m, float* __restrict o, int n) {
    for (int i = 0; i < n; ++i) {
        const float v = r[i];
        o[i] = (m[i] != 0u || !(std::fabs(v) < kU)) ? kU : v;
    }
}
void selectBlock(const float* __restrict c, const float* __restrict a, const float* __restrict b, float* __restrict d,
                 int n) {
    for (int i = 0; i < n; ++i) d[i] = c[i] != 0.0f ? a[i] : b[i];
}

} // namespace

void Program::lower() {
    code.clear();
    scalarNodes.clear();
    numRegs = 0;
    Lowering lowering(*this);
    result = lowering.lower(root);
}

double Program::evalScalar(int i, const std::vector<double>& calcValues) const {
    const IRNode& node = nodes[static_cast<std::size_t>(i)];
    switch (node.kind) {
    case IRNode::Const: return node.value;
    case IRNode::CalcResult: return calcValues[static_cast<std::size_t>(node.index)];
    case IRNode::Input: break;
    case IRNode::Operation: {
        double a[3] = {0.0, 0.0, 0.0};
        for (int k = 0; k < node.nargs; ++k) {
            a[k] = evalScalar(node.args[k], calcValues);
            if (isUndefined(a[k])) return static_cast<double>(kU);
        }
        return applyScalar(node.op, node.n, a);
    }
    }
    assert(false && "an input has no single value");
    return static_cast<double>(kU);
}

void Program::run(const float* const* inputValues, const float* scalarValues, float* out, int count) const {
    if (result.kind == Operand::Scalar) {
        const float v = scalarValues[result.index];
        std::fill(out, out + count, std::fabs(v) < kU ? v : kU);
        return;
    }
    const std::size_t B = kBlock;
    // Scratch: the registers, a broadcast block for each operand of 'if', the undefined mask.
    std::unique_ptr<float[]> scratch(new float[B * (static_cast<std::size_t>(numRegs) + 3)]);
    std::unique_ptr<std::uint32_t[]> mask(new std::uint32_t[B]);
    float* regs = scratch.get();
    float* bcast = regs + B * static_cast<std::size_t>(numRegs);
    const int nInputs = static_cast<int>(inputs.size());
    std::vector<const float*> in(static_cast<std::size_t>(nInputs));

    for (int start = 0; start < count; start += kBlock) {
        const int n = std::min(kBlock, count - start);
        for (int k = 0; k < nInputs; ++k) in[static_cast<std::size_t>(k)] = inputValues[k] + start;

        auto vec = [&](const Operand& o) -> const float* {
            return o.kind == Operand::Reg ? regs + B * static_cast<std::size_t>(o.index)
                                          : in[static_cast<std::size_t>(o.index)];
        };
        for (const Instr& ins : code) {
            float* d = regs + B * static_cast<std::size_t>(ins.dst);
            if (ins.nargs == 1) {
                unaryOp(ins.op, ins.n, vec(ins.a[0]), d, n);
            } else if (ins.nargs == 2) {
                const Operand& x = ins.a[0];
                const Operand& y = ins.a[1];
                withBinary(ins.op, [&](auto f) {
                    if (x.kind == Operand::Scalar)
                        binarySV(f, scalarValues[x.index], vec(y), d, n);
                    else if (y.kind == Operand::Scalar)
                        binaryVS(f, vec(x), scalarValues[y.index], d, n);
                    else
                        binaryVV(f, vec(x), vec(y), d, n);
                });
            } else {
                const float* p[3];
                for (int k = 0; k < 3; ++k) {
                    if (ins.a[k].kind == Operand::Scalar) {
                        float* b = bcast + B * static_cast<std::size_t>(k);
                        std::fill(b, b + n, scalarValues[ins.a[k].index]);
                        p[k] = b;
                    } else {
                        p[k] = vec(ins.a[k]);
                    }
                }
                selectBlock(p[0], p[1], p[2], d, n);
            }
        }

        // An undefined input makes the vertex undefined, whatever the operations made of it.
        std::uint32_t* m = mask.get();
        std::fill(m, m + n, 0u);
        for (int k = 0; k < nInputs; ++k) markUndefined(in[static_cast<std::size_t>(k)], m, n);
        storeResult(vec(result), m, out + start, n);
    }
}

} // namespace zel::expr
