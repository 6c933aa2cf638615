#include "skin/expression.h"

namespace qm::skin {

namespace {

// Two's-complement wrapping without signed overflow in the arithmetic itself.
int32_t Wrap(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

int32_t Negate(int32_t a) {
    return Wrap(-static_cast<int64_t>(a));
}

// Returns false only for a division by zero; the value is then 0.
bool Apply(ExpressionStep::Op op, int32_t a, int32_t b, int32_t* result) {
    switch (op) {
        case ExpressionStep::kAdd:
            *result = Wrap(static_cast<int64_t>(a) + b);
            return true;
        case ExpressionStep::kSubtract:
            *result = Wrap(static_cast<int64_t>(a) - b);
            return true;
        case ExpressionStep::kMultiply:
            *result = Wrap(static_cast<int64_t>(a) * b);
            return true;
        case ExpressionStep::kDivide:
            if (b == 0) {
                *result = 0;
                return false;
            }
            // INT32_MIN / -1 does not fit; in 64 bits it is 2^31, which wraps back.
            *result = Wrap(static_cast<int64_t>(a) / b);
            return true;
        default:
            *result = 0;
            return true;
    }
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.';
}

bool LookUpVariable(std::string_view name, ExpressionVariable* variable) {
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        name.remove_prefix(dot + 1);
    }
    struct Entry {
        const char* name;
        ExpressionVariable variable;
    };
    static const Entry kNames[] = {
        {"width", ExpressionVariable::kWidth}, {"height", ExpressionVariable::kHeight},
        {"left", ExpressionVariable::kLeft},   {"top", ExpressionVariable::kTop},
        {"right", ExpressionVariable::kRight}, {"bottom", ExpressionVariable::kBottom},
    };
    for (const Entry& entry : kNames) {
        if (name == entry.name) {
            *variable = entry.variable;
            return true;
        }
    }
    return false;
}

int32_t VariableValue(const ExpressionVariables& v, ExpressionVariable variable) {
    switch (variable) {
        case ExpressionVariable::kWidth:
            return v.width;
        case ExpressionVariable::kHeight:
            return v.height;
        case ExpressionVariable::kLeft:
            return v.left;
        case ExpressionVariable::kTop:
            return v.top;
        case ExpressionVariable::kRight:
            return v.right;
        case ExpressionVariable::kBottom:
            return v.bottom;
    }
    return 0;
}

// Operators waiting on the shunting-yard stack.
enum class Pending : uint8_t { kOpen, kNegate, kPlus, kAdd, kSubtract, kMultiply, kDivide };

int Precedence(Pending p) {
    switch (p) {
        case Pending::kNegate:
        case Pending::kPlus:
            return 3;
        case Pending::kMultiply:
        case Pending::kDivide:
            return 2;
        case Pending::kAdd:
        case Pending::kSubtract:
            return 1;
        case Pending::kOpen:
            break;
    }
    return 0;
}

class Emitter {
  public:
    explicit Emitter(std::vector<ExpressionStep>* steps) : steps_(steps) {}

    void Constant(int32_t value) { steps_->push_back({ExpressionStep::kConstant, {}, value}); }
    void Variable(ExpressionVariable variable) {
        steps_->push_back({ExpressionStep::kVariable, variable, 0});
    }

    // Folds an operator whose operands are already constants; returns false
    // for a division by a constant zero.
    bool Operator(Pending p) {
        std::vector<ExpressionStep>& s = *steps_;
        if (p == Pending::kPlus) {
            return true;
        }
        if (p == Pending::kNegate) {
            if (!s.empty() && s.back().op == ExpressionStep::kConstant) {
                s.back().value = Negate(s.back().value);
            } else {
                s.push_back({ExpressionStep::kNegate, {}, 0});
            }
            return true;
        }
        ExpressionStep::Op op = ExpressionStep::kAdd;
        switch (p) {
            case Pending::kSubtract:
                op = ExpressionStep::kSubtract;
                break;
            case Pending::kMultiply:
                op = ExpressionStep::kMultiply;
                break;
            case Pending::kDivide:
                op = ExpressionStep::kDivide;
                break;
            default:
                break;
        }
        const size_t n = s.size();
        if (op == ExpressionStep::kDivide && n >= 1 && s[n - 1].op == ExpressionStep::kConstant &&
            s[n - 1].value == 0) {
            return false;
        }
        if (n >= 2 && s[n - 1].op == ExpressionStep::kConstant &&
            s[n - 2].op == ExpressionStep::kConstant) {
            int32_t folded = 0;
            if (!Apply(op, s[n - 2].value, s[n - 1].value, &folded)) {
                return false;
            }
            s.pop_back();
            s.back().value = folded;
            return true;
        }
        s.push_back({op, {}, 0});
        return true;
    }

  private:
    std::vector<ExpressionStep>* steps_;
};

// Checks the program and measures the operand stack it needs.
bool MeasureStack(const std::vector<ExpressionStep>& steps, int32_t* depth) {
    int32_t current = 0;
    int32_t most = 0;
    for (const ExpressionStep& step : steps) {
        switch (step.op) {
            case ExpressionStep::kConstant:
            case ExpressionStep::kVariable:
                ++current;
                break;
            case ExpressionStep::kNegate:
                if (current < 1) {
                    return false;
                }
                break;
            default:
                if (current < 2) {
                    return false;
                }
                --current;
                break;
        }
        if (current > most) {
            most = current;
        }
    }
    *depth = most;
    return current == 1;
}

bool Compile(std::string_view text, ExpressionProgram* program) {
    std::vector<ExpressionStep> steps;
    std::vector<Pending> pending;
    Emitter emit(&steps);
    bool expect_operand = true;
    bool last_was_negate = false;

    // Pops operators of at least the given precedence (stops at "(").
    auto unwind = [&](int precedence) {
        while (!pending.empty() && pending.back() != Pending::kOpen &&
               Precedence(pending.back()) >= precedence) {
            if (!emit.Operator(pending.back())) {
                return false;
            }
            pending.pop_back();
        }
        return true;
    };

    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        const bool negate_before = last_was_negate;
        last_was_negate = false;
        if (c >= '0' && c <= '9') {
            if (!expect_operand) {
                return false;
            }
            // 2^31 is only representable right after a unary minus.
            const uint64_t limit = negate_before ? 2147483648u : 2147483647u;
            uint64_t value = 0;
            while (i < n && text[i] >= '0' && text[i] <= '9') {
                value = value * 10 + static_cast<uint64_t>(text[i] - '0');
                if (value > limit) {
                    return false;
                }
                ++i;
            }
            emit.Constant(Wrap(static_cast<int64_t>(value)));
            expect_operand = false;
            continue;
        }
        if (IsNameChar(c)) {
            if (!expect_operand) {
                return false;
            }
            const size_t start = i;
            while (i < n && IsNameChar(text[i])) {
                ++i;
            }
            ExpressionVariable variable;
            if (!LookUpVariable(text.substr(start, i - start), &variable)) {
                return false;
            }
            emit.Variable(variable);
            expect_operand = false;
            continue;
        }
        ++i;
        switch (c) {
            case '(':
                if (!expect_operand) {
                    return false;
                }
                pending.push_back(Pending::kOpen);
                break;
            case ')':
                if (expect_operand || !unwind(0)) {
                    return false;
                }
                if (pending.empty()) {
                    return false;
                }
                pending.pop_back();
                break;
            case '+':
            case '-':
                if (expect_operand) {
                    // Unary operators bind right to left: nothing to unwind.
                    pending.push_back(c == '-' ? Pending::kNegate : Pending::kPlus);
                    last_was_negate = c == '-';
                } else {
                    if (!unwind(1)) {
                        return false;
                    }
                    pending.push_back(c == '-' ? Pending::kSubtract : Pending::kAdd);
                    expect_operand = true;
                }
                break;
            case '*':
            case '/':
                if (expect_operand || !unwind(2)) {
                    return false;
                }
                pending.push_back(c == '*' ? Pending::kMultiply : Pending::kDivide);
                expect_operand = true;
                break;
            default:
                return false;
        }
    }
    if (expect_operand || !unwind(0) || !pending.empty()) {
        return false;
    }
    int32_t depth = 0;
    if (!MeasureStack(steps, &depth)) {
        return false;
    }
    program->steps = std::move(steps);
    program->stack_depth = depth;
    program->valid = true;
    return true;
}

}  // namespace

ExpressionVariables ExpressionVariables::FromRect(int32_t left, int32_t top, int32_t right,
                                                  int32_t bottom) {
    ExpressionVariables v;
    v.width = Wrap(static_cast<int64_t>(right) - left);
    v.height = Wrap(static_cast<int64_t>(bottom) - top);
    v.left = left;
    v.top = top;
    v.right = right;
    v.bottom = bottom;
    return v;
}

bool ExpressionVariables::operator==(const ExpressionVariables& o) const {
    return width == o.width && height == o.height && left == o.left && top == o.top &&
           right == o.right && bottom == o.bottom;
}

int CompileExpression(std::string_view text, ExpressionProgram* program) {
    if (!program) {
        return 0;
    }
    *program = ExpressionProgram();
    return Compile(text, program) ? 1 : 0;
}

int32_t EvaluateExpression(const ExpressionProgram& program, const ExpressionVariables& variables) {
    if (!program.valid || program.steps.empty()) {
        return 0;
    }
    if (program.IsConstant()) {
        return program.steps[0].value;
    }
    int32_t local[32];
    std::vector<int32_t> heap;
    int32_t* stack = local;
    if (program.stack_depth > 32) {
        heap.resize(static_cast<size_t>(program.stack_depth));
        stack = heap.data();
    }
    size_t top = 0;
    for (const ExpressionStep& step : program.steps) {
        switch (step.op) {
            case ExpressionStep::kConstant:
                stack[top++] = step.value;
                break;
            case ExpressionStep::kVariable:
                stack[top++] = VariableValue(variables, step.variable);
                break;
            case ExpressionStep::kNegate:
                stack[top - 1] = Negate(stack[top - 1]);
                break;
            default: {
                --top;
                int32_t result = 0;
                Apply(step.op, stack[top - 1], stack[top], &result);
                stack[top - 1] = result;
                break;
            }
        }
    }
    return stack[0];
}

int ExpressionBox::Compile(std::string_view x, std::string_view y, std::string_view width,
                           std::string_view height) {
    valid_ = false;
    resolved_ = false;
    value_ = ExpressionBoxValue();
    valid_ = CompileExpression(x, &x_) && CompileExpression(y, &y_) &&
             CompileExpression(width, &width_) && CompileExpression(height, &height_);
    return valid_ ? 1 : 0;
}

const ExpressionBoxValue& ExpressionBox::Resolve(const ExpressionVariables& target) {
    if (!valid_) {
        return value_;
    }
    if (resolved_ && target == target_) {
        return value_;
    }
    value_.x = EvaluateExpression(x_, target);
    value_.y = EvaluateExpression(y_, target);
    value_.width = EvaluateExpression(width_, target);
    value_.height = EvaluateExpression(height_, target);
    target_ = target;
    resolved_ = true;
    ++evaluations_;
    return value_;
}

}  // namespace qm::skin
