#include "skin/expression.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace qm::skin {
namespace {

ExpressionVariables Target(int32_t width, int32_t height) {
    return ExpressionVariables::FromRect(10, 20, 10 + width, 20 + height);
}

// Compiles and evaluates, failing the test if the text does not compile.
int32_t Eval(const std::string& text, const ExpressionVariables& v = Target(50, 30)) {
    ExpressionProgram program;
    EXPECT_EQ(1, CompileExpression(text, &program)) << "\"" << text << "\"";
    return EvaluateExpression(program, v);
}

TEST(ExpressionTest, ConstantsAndSpaces) {
    EXPECT_EQ(12, Eval("12"));
    EXPECT_EQ(12, Eval("  12  "));
    EXPECT_EQ(0, Eval("0"));
    EXPECT_EQ(-5, Eval("-5"));
    EXPECT_EQ(5, Eval("+5"));
    EXPECT_EQ(2147483647, Eval("2147483647"));
    EXPECT_EQ(INT32_MIN, Eval("-2147483648"));
    EXPECT_EQ(43, Eval(" width - 7 "));
    EXPECT_EQ(43, Eval("\twidth-7\t"));

    ExpressionProgram program;
    ASSERT_EQ(1, CompileExpression("  12  ", &program));
    EXPECT_TRUE(program.IsConstant());
}

TEST(ExpressionTest, PrecedenceAndAssociativity) {
    EXPECT_EQ(14, Eval("2+3*4"));
    EXPECT_EQ(20, Eval("(2+3)*4"));
    EXPECT_EQ(3, Eval("10-4-3"));
    EXPECT_EQ(7, Eval("100/7/2"));
    EXPECT_EQ(-14, Eval("-(3+4)*2"));
    EXPECT_EQ(6, Eval("- -6"));
    EXPECT_EQ(-1, Eval("2*-3+5"));
    EXPECT_EQ(1, Eval("7-2*3"));
    EXPECT_EQ(9, Eval("((((9))))"));
    // Division truncates towards zero.
    EXPECT_EQ(-3, Eval("-7/2"));
    EXPECT_EQ(3, Eval("-7/-2"));
}

TEST(ExpressionTest, VariablesComeFromTheTarget) {
    const ExpressionVariables v = ExpressionVariables::FromRect(10, 20, 110, 70);
    EXPECT_EQ(100, Eval("width", v));
    EXPECT_EQ(50, Eval("height", v));
    EXPECT_EQ(10, Eval("left", v));
    EXPECT_EQ(20, Eval("top", v));
    EXPECT_EQ(110, Eval("right", v));
    EXPECT_EQ(70, Eval("bottom", v));
    // Only the part after the last "." names the variable.
    EXPECT_EQ(100, Eval("rect.width", v));
    EXPECT_EQ(50, Eval("a.b_c.height", v));
    EXPECT_EQ(25, Eval("(height-0)/2", v));
    EXPECT_EQ(150, Eval("width+height", v));
}

TEST(ExpressionTest, RegionFormsOfStretchImages) {
    // "width-%d" filled with 7 at width 50.
    EXPECT_EQ(43, Eval("width-7", Target(50, 10)));
    // Three parts, 20 wide with markers at 4 and 15, drawn 100 wide: the
    // middle is 92 wide and the right piece starts at 96.
    EXPECT_EQ(92, Eval("width-8", Target(100, 10)));
    EXPECT_EQ(96, Eval("width-4", Target(100, 10)));
    // Five parts: the two stretching pieces share the rest, the second one
    // taking the odd pixel.
    const ExpressionVariables odd = Target(101, 10);
    const int32_t first = Eval("(width-20)/2", odd);
    const int32_t second = Eval("width-20-(width-20)/2", odd);
    EXPECT_EQ(40, first);
    EXPECT_EQ(41, second);
    EXPECT_EQ(5 + 40, Eval("5+(width-20)/2", odd));
}

TEST(ExpressionTest, ConstantPartsAreFolded) {
    ExpressionProgram program;
    ASSERT_EQ(1, CompileExpression("1+2*3-(8/4)", &program));
    ASSERT_TRUE(program.IsConstant());
    EXPECT_EQ(5, program.steps[0].value);

    ASSERT_EQ(1, CompileExpression("width-(2*3)", &program));
    EXPECT_FALSE(program.IsConstant());
    ASSERT_EQ(3u, program.steps.size());  // width, 6, subtract
    EXPECT_EQ(ExpressionStep::kConstant, program.steps[1].op);
    EXPECT_EQ(6, program.steps[1].value);
    EXPECT_EQ(44, EvaluateExpression(program, Target(50, 0)));
    EXPECT_EQ(-6, EvaluateExpression(program, Target(0, 0)));
}

TEST(ExpressionTest, DivisionByZeroNeverCrashes) {
    ExpressionProgram program;
    // A constant zero divisor is refused when compiling.
    EXPECT_EQ(0, CompileExpression("1/0", &program));
    EXPECT_FALSE(program.valid);
    EXPECT_EQ(0, CompileExpression("width/0", &program));
    EXPECT_EQ(0, CompileExpression("width/(3-3)", &program));
    // A divisor that is only zero for some targets gives 0 for that target.
    ASSERT_EQ(1, CompileExpression("100/width", &program));
    EXPECT_EQ(0, EvaluateExpression(program, Target(0, 5)));
    EXPECT_EQ(4, EvaluateExpression(program, Target(25, 5)));
    ASSERT_EQ(1, CompileExpression("width/(height-height)+1", &program));
    EXPECT_EQ(1, EvaluateExpression(program, Target(7, 9)));
    // The one quotient that does not fit wraps instead of trapping.
    ASSERT_EQ(1, CompileExpression("-2147483648/(0-width)", &program));
    EXPECT_EQ(INT32_MIN, EvaluateExpression(program, Target(1, 0)));
}

TEST(ExpressionTest, OverflowWraps) {
    EXPECT_EQ(INT32_MIN, Eval("2147483647+1"));
    EXPECT_EQ(-2, Eval("2147483647*2"));
    ExpressionProgram program;
    ASSERT_EQ(1, CompileExpression("width*width*width", &program));
    // 10^15 modulo 2^32.
    EXPECT_EQ(-1530494976,
              EvaluateExpression(program, ExpressionVariables::FromRect(0, 0, 100000, 0)));
    const ExpressionVariables extreme = ExpressionVariables::FromRect(INT32_MIN, 0, INT32_MAX, 0);
    EXPECT_EQ(-1, extreme.width);
}

TEST(ExpressionTest, MalformedTextFails) {
    const char* const bad[] = {
        "",
        "   ",
        "(",
        ")",
        "()",
        "1+",
        "+",
        "*2",
        "2*",
        "2 3",
        "width 2",
        "2 width",
        "width height",
        "(1))",
        "((1)",
        "1)(",
        "foo",
        "width.",
        "widths",
        "Width",
        ".",
        "2147483648",
        "99999999999999999999",
        "1$",
        "1,5",
        "w2",
        "1 + (2 * )",
        "--",
        "- ",
        "(-)",
        "1//2",
        "1**2",
        "#",
        "\xff",
    };
    for (const char* text : bad) {
        ExpressionProgram program;
        program.valid = true;
        EXPECT_EQ(0, CompileExpression(text, &program)) << "\"" << text << "\"";
        EXPECT_FALSE(program.valid) << "\"" << text << "\"";
        EXPECT_EQ(0, EvaluateExpression(program, Target(50, 30)));
    }
    // An embedded NUL is an unknown character, not the end of the text.
    ExpressionProgram program;
    EXPECT_EQ(0, CompileExpression(std::string_view("1\0+2", 4), &program));
    EXPECT_EQ(0, CompileExpression("1", nullptr));
}

TEST(ExpressionTest, DeepAndLongTextCompilesWithoutRecursion) {
    const int depth = 200000;
    std::string nested(depth, '(');
    nested += "width";
    nested += std::string(depth, ')');
    EXPECT_EQ(50, Eval(nested));

    std::string chain = "width";
    for (int i = 0; i < 10000; ++i) {
        chain += "-(width-1)";
    }
    // Every term is width-1 = 49: 50 - 10000 * 49.
    EXPECT_EQ(50 - 10000 * 49, Eval(chain));

    std::string negations(100001, '-');
    negations += "7";
    EXPECT_EQ(-7, Eval(negations));
}

TEST(ExpressionTest, BoxIsEvaluatedOnlyWhenTheTargetChanges) {
    ExpressionBox box;
    ASSERT_EQ(1, box.Compile("width-4", "0", "4", "height"));
    const ExpressionBoxValue& a = box.Resolve(Target(100, 30));
    EXPECT_EQ(96, a.x);
    EXPECT_EQ(0, a.y);
    EXPECT_EQ(4, a.width);
    EXPECT_EQ(30, a.height);
    EXPECT_EQ(1, box.evaluations());

    box.Resolve(Target(100, 30));
    EXPECT_EQ(1, box.evaluations());

    const ExpressionBoxValue& b = box.Resolve(Target(60, 30));
    EXPECT_EQ(56, b.x);
    EXPECT_EQ(2, box.evaluations());
    // Moving the target changes left and right even at the same size.
    box.Resolve(ExpressionVariables::FromRect(5, 20, 65, 50));
    EXPECT_EQ(3, box.evaluations());

    ExpressionBox broken;
    EXPECT_EQ(0, broken.Compile("0", "0", "width-", "height"));
    EXPECT_FALSE(broken.IsValid());
    const ExpressionBoxValue& none = broken.Resolve(Target(100, 30));
    EXPECT_EQ(0, none.x + none.y + none.width + none.height);
    EXPECT_EQ(0, broken.evaluations());
}

}  // namespace
}  // namespace qm::skin
