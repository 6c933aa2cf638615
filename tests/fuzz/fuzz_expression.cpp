// Drives the expression compiler with arbitrary text. The oracle: whatever
// compiles evaluates for any target without a fault; a constant program does
// not depend on the target; wrapping the text in parentheses or spaces, or
// negating it, changes the value exactly as arithmetic says; and the program
// is well formed (its stack never runs dry and ends with one value).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "skin/expression.h"
#include "skin/layout.h"

using namespace qm::skin;

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_expression: %s\n", what);
        std::abort();
    }
}

int32_t WrapNegate(int32_t v) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

const ExpressionVariables kTargets[] = {
    ExpressionVariables::FromRect(0, 0, 0, 0),
    ExpressionVariables::FromRect(10, 20, 360, 200),
    ExpressionVariables::FromRect(-5, -7, 1, 3),
    ExpressionVariables::FromRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    ExpressionProgram program;
    const int ok = CompileExpression(text, &program);
    require(ok == (program.valid ? 1 : 0), "result and validity disagree");

    // The same bytes as a layout string: refused or accepted, never a fault.
    {
        const std::string mode(text.c_str());
        RECT rect{1, 2, 3, 4};
        RECT stored{0, 0, 0, 0};
        LayoutMode m;
        const int parsed = ParseLayout(mode.c_str(), &rect, &m, &stored);
        require(parsed == (m.mode != kLayoutNotSet ? 1 : 0), "layout result and mode disagree");
        RECT bounds{0, 0, 0, 0};
        require(ComputeLayout(m, stored, RECT{0, 0, 350, 180}, &bounds) == parsed,
                "layout computed for a refused mode");
    }

    if (!ok) {
        require(EvaluateExpression(program, kTargets[1]) == 0, "invalid program gave a value");
        return 0;
    }

    // Well formed: each step finds its operands.
    int32_t depth = 0;
    int32_t most = 0;
    for (const ExpressionStep& step : program.steps) {
        if (step.op == ExpressionStep::kConstant || step.op == ExpressionStep::kVariable) {
            ++depth;
        } else if (step.op == ExpressionStep::kNegate) {
            require(depth >= 1, "negate without operand");
        } else {
            require(depth >= 2, "operator without operands");
            --depth;
        }
        most = depth > most ? depth : most;
        require(step.op != ExpressionStep::kDivide || depth >= 1, "division without operands");
    }
    require(depth == 1, "program leaves other than one value");
    require(most == program.stack_depth, "stack depth misreported");

    int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        values[i] = EvaluateExpression(program, kTargets[i]);
        if (program.IsConstant()) {
            require(values[i] == values[0], "constant depends on the target");
        }
    }

    // Parentheses and spaces change nothing; negation negates.
    if (size < 4096) {
        ExpressionProgram wrapped;
        require(CompileExpression(" ( " + text + " ) ", &wrapped) == 1, "parenthesised fails");
        ExpressionProgram negated;
        require(CompileExpression("-(" + text + ")", &negated) == 1, "negated fails");
        for (int i = 0; i < 4; ++i) {
            require(EvaluateExpression(wrapped, kTargets[i]) == values[i], "parentheses change");
            require(EvaluateExpression(negated, kTargets[i]) == WrapNegate(values[i]),
                    "negation wrong");
        }
        require(wrapped.IsConstant() == program.IsConstant(), "folding depends on parentheses");
    }
    return 0;
}
