// Small integer expressions that place the parts of a stretchable image inside
// a target rectangle, such as "width-7" or "(height-12)/2+3".
//
// Text is compiled once into postfix form; constant parts are folded while
// compiling, so an expression without variables costs nothing to evaluate.
// Nothing here calls the platform.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qm::skin {

// The values a name in an expression can select, taken from the target
// rectangle. A name is letters, "_" and "."; only the part after its last "."
// counts ("rect.width" and "width" are the same variable).
struct ExpressionVariables {
    int32_t width = 0;
    int32_t height = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    static ExpressionVariables FromRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool operator==(const ExpressionVariables& other) const;
    bool operator!=(const ExpressionVariables& other) const { return !(*this == other); }
};

enum class ExpressionVariable : uint8_t { kWidth, kHeight, kLeft, kTop, kRight, kBottom };

// One step of a postfix program.
struct ExpressionStep {
    enum Op : uint8_t { kConstant, kVariable, kNegate, kAdd, kSubtract, kMultiply, kDivide };
    Op op;
    ExpressionVariable variable;  // kVariable only
    int32_t value;                // kConstant only
};

// A compiled expression. A default-constructed program is invalid and
// evaluates to 0.
struct ExpressionProgram {
    std::vector<ExpressionStep> steps;
    int32_t stack_depth = 0;  // operand stack the steps need
    bool valid = false;

    bool IsConstant() const {
        return valid && steps.size() == 1 && steps[0].op == ExpressionStep::kConstant;
    }
};

// Compiles text. Leading, trailing and inner spaces are ignored. Accepted:
// decimal integers, the variables above, unary "-" and "+", binary "+", "-",
// "*", "/" with the usual precedence (left to right within a level), and
// parentheses. Returns 1 and fills *program, or returns 0 and leaves *program
// invalid for empty or malformed text, an unknown name, an integer literal out
// of 32-bit range, or a division by a constant zero.
int CompileExpression(std::string_view text, ExpressionProgram* program);

// Evaluates with 32-bit two's-complement arithmetic (overflow wraps; division
// truncates towards zero). Division by zero, which only a variable divisor can
// still produce, gives 0 for that division. An invalid program gives 0.
int32_t EvaluateExpression(const ExpressionProgram& program, const ExpressionVariables& variables);

// A destination box given by four expressions (x, y, width, height relative
// to the target's top-left corner), evaluated again only when the target
// changes.
struct ExpressionBoxValue {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class ExpressionBox {
  public:
    // Returns 1 when all four compile; otherwise 0, and the box stays invalid.
    int Compile(std::string_view x, std::string_view y, std::string_view width,
                std::string_view height);
    bool IsValid() const { return valid_; }

    // The box for this target; the expressions run only when the target
    // differs from the one of the previous call.
    const ExpressionBoxValue& Resolve(const ExpressionVariables& target);

    // How many times Resolve actually evaluated the expressions.
    int evaluations() const { return evaluations_; }

  private:
    ExpressionProgram x_, y_, width_, height_;
    ExpressionVariables target_;
    ExpressionBoxValue value_;
    bool valid_ = false;
    bool resolved_ = false;
    int evaluations_ = 0;
};

}  // namespace qm::skin
