#pragma once
// The compiled form of an expression: a tree of operations over constants, calculator
// results and input variables, checked for dimensions, and its lowering to a short list of
// block instructions. A program is immutable once built and shared through the cache; the
// per-evaluation data (input values, calculator results, scratch blocks) live with the caller.
#include "framework/expressions/detail/Ops.h"
#include "framework/units/UnitDimensions.h"

#include <string>
#include <vector>

namespace zel::expr {

struct IRNode {
    enum Kind : std::uint8_t { Const, Input, CalcResult, Operation };
    Kind kind = Const;
    Op op = Op::Add;
    int n = 0; // PowInt: the exponent
    int nargs = 0;
    int args[3] = {-1, -1, -1};
    int index = -1;       // Input: index into Program::inputs; CalcResult: into Program::calls
    double value = 0.0;   // Const
    bool field = false;   // depends on an input variable
    bool constant = true; // depends on neither inputs nor calculator results
    UnitDimensions dims;
};

// One calculator call function(expression)@location as the callback receives it.
struct CalcCall {
    std::string function, location, expression, axis, fluid;
    bool operator==(const CalcCall&) const = default;
};

// Where a block instruction takes an operand from.
struct Operand {
    enum Kind : std::uint8_t { Reg, Input, Scalar };
    Kind kind = Scalar;
    int index = 0;
};

struct Instr {
    Op op = Op::Add;
    int n = 0;
    int nargs = 0;
    Operand a[3];
    int dst = 0; // register written; never one of the operands
};

struct Program {
    // Vertices per block: a few scratch blocks and the input slices stay in the L1 cache.
    static constexpr int kBlock = 1024;

    std::string text;
    UnitDimensions dims;
    std::vector<IRNode> nodes;
    int root = -1;
    std::vector<std::string> inputs; // needed variables, in the order they are asked for
    std::vector<CalcCall> calls;

    // Lowered form.
    std::vector<Instr> code;
    int numRegs = 0;
    std::vector<int> scalarNodes; // IR nodes whose values are the Scalar operands
    Operand result;

    int addNode(const IRNode& node) {
        nodes.push_back(node);
        return static_cast<int>(nodes.size()) - 1;
    }

    // Builds code, numRegs, scalarNodes and result from the tree under root.
    void lower();
    // Value of a node without inputs; calcValues are the calculator results in base units.
    // An undefined operand makes the value undefined.
    double evalScalar(int node, const std::vector<double>& calcValues) const;
    // Evaluates over count vertices. inputValues[k] points at the count values of inputs[k];
    // scalarValues holds the values of scalarNodes. Writes out[0..count).
    void run(const float* const* inputValues, const float* scalarValues, float* out, int count) const;
};

} // namespace zel::expr
