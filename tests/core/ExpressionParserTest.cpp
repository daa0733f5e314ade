#include "core/FormatSettings.h"
#include "core/ParseExpr.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <typeinfo>

namespace {

const double cPi = 3.141592653589793;

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

double Evaluate(const char* sExpr)
{
    TExpressionParser parser;
    return parser.GetResults(parser.AddExpression(Q(sExpr)));
}

// The message of the error a call raises, checked to be of the expected kind; empty if none.
template <typename TError, typename TCall>
QString ErrorOf(TCall aCall)
{
    try {
        aCall();
    } catch (const EError& e) {
        EXPECT_NE(dynamic_cast<const TError*>(&e), nullptr) << "raised as " << typeid(e).name();
        return e.Message();
    }
    return QString();
}

int RecordCount(const TExpressionParser& parser, int iIndex)
{
    int iCount = 0;
    for (const TExpressionRec* pRec = parser.EvaluationList(iIndex); pRec; pRec = pRec->Next)
        ++iCount;
    return iCount;
}

struct ValueCase
{
    const char* sExpr;
    double rExpected;
    friend void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.sExpr; }
};

class ExpressionValue : public ::testing::TestWithParam<ValueCase>
{};

TEST_P(ExpressionValue, ComputesTheTerm)
{
    const ValueCase& c = GetParam();
    EXPECT_NEAR(Evaluate(c.sExpr), c.rExpected, 1e-12 * std::max(1.0, std::fabs(c.rExpected)));
}

// Precedence, grouping and the preparing of signs and "not" runs.
INSTANTIATE_TEST_SUITE_P(
    Precedence, ExpressionValue,
    ::testing::Values(ValueCase{"2 + 3 * 4", 14}, ValueCase{"2 * 3 + 4", 10}, ValueCase{"10 - 3 - 2", 5},
                      ValueCase{"8 / 4 / 2", 1}, ValueCase{"2 ^ 3 ^ 2", 64}, ValueCase{"1 + 2 * 3 + 4", 11},
                      ValueCase{"2 * 3 ^ 2", 18}, ValueCase{"(1 + 2) * 3", 9}, ValueCase{"((((2))))", 2},
                      ValueCase{"2 * (3 + 4) - 1", 13}, ValueCase{"-2 ^ 2", 4}, ValueCase{"2 ^ -1", 0.5},
                      ValueCase{"2 - -3", 5}, ValueCase{"2-3", -1}, ValueCase{"- - 1", 1},
                      ValueCase{"- + - 1", 1}, ValueCase{"2 * -3", -6}, ValueCase{"-(2 + 3)", -5},
                      ValueCase{"+5", 5}, ValueCase{"max(-1, -2)", -1}, ValueCase{"2--3", 1},
                      ValueCase{"--1", 0}, ValueCase{"5++", 6}, ValueCase{"1 + 2 = 3", 1},
                      ValueCase{"not not 2", 2}, ValueCase{"not 1 = 2", 1},
                      ValueCase{"ABS(-1) + Pi - PI", 1}));

INSTANTIATE_TEST_SUITE_P(
    Operators, ExpressionValue,
    ::testing::Values(ValueCase{"3!", 6}, ValueCase{"0!", 1}, ValueCase{"-3!", 1},
                      ValueCase{"170!", 7.257415615307994e306}, ValueCase{"200 * 5 %", 10},
                      ValueCase{"7 div 2", 3}, ValueCase{"7.5 div 2", 4}, ValueCase{"2.5 div 1", 2},
                      ValueCase{"-7 div 2", -3}, ValueCase{"-7 mod 3", -1}, ValueCase{"7 mod -3", 1},
                      ValueCase{"2 and 1", 0}, ValueCase{"3 and 1", 1}, ValueCase{"6 or 3", 7},
                      ValueCase{"6 xor 3", 5}, ValueCase{"not 0", 1}, ValueCase{"not 1", 0},
                      ValueCase{"not 2", 3}, ValueCase{"not 257", 0}, ValueCase{"2 ^ 10", 1024},
                      ValueCase{"2 ^ 0.5", std::sqrt(2.0)}, ValueCase{"(-2) ^ 3", -8},
                      ValueCase{"2 ^ -2", 0.25}, ValueCase{"1 ^ 1e18", 1}, ValueCase{"0.5 ^ 2000", 0},
                      ValueCase{"3 in 3", 1}, ValueCase{"3 in 4", 0}, ValueCase{"1 := 2", 2}));

INSTANTIATE_TEST_SUITE_P(Numbers, ExpressionValue,
                         ::testing::Values(ValueCase{"1.5e2", 150}, ValueCase{"1.5E-2", 0.015},
                                           ValueCase{".5", 0.5}, ValueCase{"2.", 2}, ValueCase{"1e+3", 1000},
                                           ValueCase{"1e-400", 0}, ValueCase{"$ff", 255},
                                           ValueCase{"$FF + 1", 256}, ValueCase{"$ffffffff", -1},
                                           ValueCase{"$7fffffff", 2147483647}, ValueCase{"pi", cPi}));

INSTANTIATE_TEST_SUITE_P(
    Functions, ExpressionValue,
    ::testing::Values(ValueCase{"exp(0)", 1}, ValueCase{"exp(1)", std::exp(1.0)}, ValueCase{"if(1, 2, 3)", 2},
                      ValueCase{"if(0, 2, 3)", 3}, ValueCase{"if(256, 2, 3)", 3},
                      ValueCase{"if(0.4, 2, 3)", 3}, ValueCase{"sqr(3)", 9}, ValueCase{"sqrt(16)", 4},
                      ValueCase{"abs(-2.5)", 2.5}, ValueCase{"round(2.5)", 2}, ValueCase{"round(3.5)", 4},
                      ValueCase{"round(-2.5)", -2}, ValueCase{"trunc(-2.7)", -2}, ValueCase{"trunc(2.7)", 2},
                      ValueCase{"ln(1)", 0}, ValueCase{"ln(exp(2))", 2}, ValueCase{"log10(1000)", 3},
                      ValueCase{"logn(2, 8)", 3}, ValueCase{"power(2, 3)", 8}, ValueCase{"pow(9, 0.5)", 3},
                      ValueCase{"intpower(2, -2)", 0.25}, ValueCase{"intpower(2, 2.6)", 8},
                      ValueCase{"max(1, 2)", 2}, ValueCase{"max(2, 1)", 2}, ValueCase{"min(1, 2)", 1},
                      ValueCase{"min(2, 1)", 1}, ValueCase{"sin(pi / 2)", 1}, ValueCase{"cos(0)", 1},
                      ValueCase{"tan(pi / 4)", 1}, ValueCase{"arcsin(1)", cPi / 2}, ValueCase{"arccos(1)", 0},
                      ValueCase{"arctan(1)", cPi / 4}, ValueCase{"arctan2(1, -1)", 3 * cPi / 4},
                      ValueCase{"arctan2(-1, -1)", -3 * cPi / 4}, ValueCase{"sinh(1)", std::sinh(1.0)},
                      ValueCase{"cosh(1)", std::cosh(1.0)}, ValueCase{"tanh(1)", std::tanh(1.0)},
                      ValueCase{"arcsinh(1)", std::asinh(1.0)}, ValueCase{"arccosh(2)", std::acosh(2.0)},
                      ValueCase{"arctanh(0.5)", std::atanh(0.5)}, ValueCase{"degtorad(180)", cPi},
                      ValueCase{"radtodeg(pi)", 180}, ValueCase{"sqrt(3^2 + 4^2) * 2", 10},
                      ValueCase{"max(min(5, 3), 2 * 2)", 4}, ValueCase{"pos('b', 'abc')", 2},
                      ValueCase{"pos('x', 'abc')", 0}, ValueCase{"pos('', 'abc')", 0},
                      ValueCase{"pos('BC', 'abc') + 1", 3}));

struct BoolCase
{
    const char* sExpr;
    bool bExpected;
    friend void PrintTo(const BoolCase& c, std::ostream* os) { *os << c.sExpr; }
};

class ExpressionCondition : public ::testing::TestWithParam<BoolCase>
{};

TEST_P(ExpressionCondition, IsBooleanWithTheExpectedValue)
{
    const BoolCase& c = GetParam();
    TExpressionParser parser;
    const int iIndex = parser.AddExpression(Q(c.sExpr));
    EXPECT_EQ(parser.ResultType(iIndex), vtBoolean);
    EXPECT_EQ(parser.GetAsBoolean(iIndex), c.bExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Comparisons, ExpressionCondition,
    ::testing::Values(BoolCase{"1 = 1 and 2 > 1", true}, BoolCase{"2 > 1 and 1 > 2", false},
                      BoolCase{"1 > 2 or 2 > 1", true}, BoolCase{"5.02 >= 4.9 and 5.02 <= 5.1", true},
                      BoolCase{"5.2 >= 4.9 and 5.2 <= 5.1", false}, BoolCase{"1 >= 1", true},
                      BoolCase{"1 <= 1", true}, BoolCase{"2 < 1", false}, BoolCase{"1 <> 2", true},
                      BoolCase{"1 <> 1", false}, BoolCase{"0 = 1e-31", true}, BoolCase{"0 = 1e-29", false},
                      BoolCase{"1e-31 <> 0", false}, BoolCase{"not 2", true}, BoolCase{"not 1", false},
                      BoolCase{"2 and 1", false}, BoolCase{"2 in 2", true}, BoolCase{"not not not 0", true},
                      BoolCase{"pos('b', 'abc') = 2", true}));

// An unknown name is a number that is not a number: every comparison with it is false.
INSTANTIATE_TEST_SUITE_P(UnknownNames, ExpressionCondition,
                         ::testing::Values(BoolCase{"abc > 0", false}, BoolCase{"abc = abc", false},
                                           BoolCase{"abc <> 1", false}, BoolCase{"abc < 1", false},
                                           BoolCase{"abc >= abc", false}, BoolCase{"abc + 1 <= 2", false}));

INSTANTIATE_TEST_SUITE_P(Strings, ExpressionCondition,
                         ::testing::Values(BoolCase{"'abc' = 'ABC'", true}, BoolCase{"'abc' = 'abd'", false},
                                           BoolCase{"'a' <> 'b'", true}, BoolCase{"'a' <> 'a'", false},
                                           BoolCase{"'abc' < 'abd'", true}, BoolCase{"'B' > 'a'", true},
                                           BoolCase{"'10' < '9'", true}, BoolCase{"'ab' >= 'ab'", true},
                                           BoolCase{"'ab' <= 'a'", false}, BoolCase{"'ab' > 'a'", true},
                                           BoolCase{"'b' in 'a,b,c'", true}, BoolCase{"'b' in 'a, b'", false},
                                           BoolCase{"' b' in 'a, b'", true}, BoolCase{"'' in 'a,,b'", true},
                                           BoolCase{"'a,b' in 'a,b'", false}, BoolCase{"'x' in 'abc'", false},
                                           BoolCase{"'a' = 'a' and 'b' = 'c'", false},
                                           BoolCase{"'abc' = 'abc", true}));

struct ErrorCase
{
    const char* sExpr;
    const char* sMessage;
    friend void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.sExpr; }
};

class ExpressionParserError : public ::testing::TestWithParam<ErrorCase>
{};

TEST_P(ExpressionParserError, RaisesWhileCompiling)
{
    const ErrorCase& c = GetParam();
    TExpressionParser parser;
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(Q(c.sExpr)); }), Q(c.sMessage));
    EXPECT_EQ(parser.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ExpressionParserError,
    ::testing::Values(
        ErrorCase{"(1 + 2", "Unequal brackets"}, ErrorCase{"1 + 2)", "Unequal brackets"},
        ErrorCase{"1)+(2", "Unequal brackets"},
        ErrorCase{"()", "Error in math expression: Empty brackets ()"},
        ErrorCase{"max()", "Error in math expression: Empty brackets ()"},
        ErrorCase{"2 3", "Error in math expression: 2 two space limited variables/constants"},
        ErrorCase{"1 == 1", "Error in math expression: 1 two space limited variables/constants"},
        ErrorCase{"1 + abc def", "Error in math expression: abc two space limited variables/constants"},
        ErrorCase{"'a' 'b'", "Error in math expression: 'a' two space limited variables/constants"},
        ErrorCase{"sinx(1)", "Error in math expression: sinx is an unknown function"},
        ErrorCase{"1 + MyFunc(2)", "Error in math expression: myfunc is an unknown function"},
        ErrorCase{"(1)(2)", "Error in math expression: Missing operand between )("},
        ErrorCase{"(1) 2", "Error in math expression: Missing operand between ) and constant/variable"},
        ErrorCase{"2 (1)", "Error in math expression: Missing operand between constant/variable and ("},
        ErrorCase{"2 * not 1",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"1 = not 0",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"1 +", "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"* 2", "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"sin", "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"sin 1",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"max(1)",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"max(1, )",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"pos('a')",
                  "Error in math expression: Syntax error: function or operand has too few arguments"},
        ErrorCase{"1 , 2", "Error in math expression: Syntax error in expression 1 , 2"},
        ErrorCase{"random 1", "Error in math expression: Syntax error in expression random 1"},
        ErrorCase{"Max(1, 2, 3)", "Error in math expression: Syntax error in expression max(1, 2, 3)"},
        ErrorCase{"pos(1, 2)", "Error in math expression: Syntax error in expression pos(1, 2)"},
        ErrorCase{"(,)", "Error in math expression: Syntax error in expression (,)"},
        ErrorCase{"'a' + 'b'", "+ is not a valid string operand"},
        ErrorCase{"max('a', 'b')", ", is not a valid string operand"},
        ErrorCase{"'5' = 5", "Error in math expression: String operand '5' cannot be used as a number"},
        ErrorCase{"'abc'", "Error in math expression: String operand 'abc' cannot be used as a number"}));

TEST(ExpressionParser, NumberTokensThatDoNotConvertRaiseConversionErrors)
{
    const struct
    {
        const char* sExpr;
        const char* sMessage;
    } cases[] = {{"1e", "'1e' is not a valid floating point value"},
                 {"2 * 1e+", "'1e+' is not a valid floating point value"},
                 {"1e400", "'1e400' is not a valid floating point value"},
                 {".", "'.' is not a valid floating point value"},
                 {"$1ffffffff", "'$1ffffffff' is not a valid integer value"}};
    for (const auto& c : cases) {
        TExpressionParser parser;
        EXPECT_EQ(ErrorOf<EConvertError>([&] { parser.AddExpression(Q(c.sExpr)); }), Q(c.sMessage))
            << c.sExpr;
    }
}

// Folding computes constant parts while compiling, so their errors surface there; without
// folding (or with an unknown name) the same error comes from the evaluation.
class ExpressionMathError : public ::testing::TestWithParam<ErrorCase>
{};

TEST_P(ExpressionMathError, RaisesFoldedAndUnfolded)
{
    const ErrorCase& c = GetParam();
    TExpressionParser folding;
    EXPECT_EQ(ErrorOf<EMathError>([&] { folding.GetResults(folding.AddExpression(Q(c.sExpr))); }),
              Q(c.sMessage));

    TExpressionParser plain;
    plain.SetOptimize(false);
    const int iIndex = plain.AddExpression(Q(c.sExpr));
    EXPECT_EQ(ErrorOf<EMathError>([&] { plain.GetResults(iIndex); }), Q(c.sMessage));
}

INSTANTIATE_TEST_SUITE_P(Texts, ExpressionMathError,
                         ::testing::Values(ErrorCase{"1/0", "Floating point division by zero"},
                                           ErrorCase{"0 ^ -1", "Floating point division by zero"},
                                           ErrorCase{"intpower(0, -1)", "Floating point division by zero"},
                                           ErrorCase{"logn(1, 5)", "Floating point division by zero"},
                                           ErrorCase{"arctanh(1)", "Floating point division by zero"},
                                           ErrorCase{"0/0", "Invalid floating point operation"},
                                           ErrorCase{"sqrt(-1)", "Invalid floating point operation"},
                                           ErrorCase{"ln(0)", "Invalid floating point operation"},
                                           ErrorCase{"ln(-1)", "Invalid floating point operation"},
                                           ErrorCase{"log10(0)", "Invalid floating point operation"},
                                           ErrorCase{"arcsin(2)", "Invalid floating point operation"},
                                           ErrorCase{"arccosh(0)", "Invalid floating point operation"},
                                           ErrorCase{"(-8) ^ (1/3)", "Invalid floating point operation"},
                                           ErrorCase{"round(1e19)", "Invalid floating point operation"},
                                           ErrorCase{"abc div 2", "Invalid floating point operation"},
                                           ErrorCase{"not abc", "Invalid floating point operation"},
                                           ErrorCase{"if(abc, 1, 2)", "Invalid floating point operation"},
                                           ErrorCase{"round(abc)", "Invalid floating point operation"},
                                           ErrorCase{"exp(1000)", "Floating point overflow"},
                                           ErrorCase{"1e308 * 10", "Floating point overflow"},
                                           ErrorCase{"1e308 + 1e308", "Floating point overflow"},
                                           ErrorCase{"10 ^ 400", "Floating point overflow"},
                                           ErrorCase{"10 ^ 400.5", "Floating point overflow"},
                                           ErrorCase{"171!", "Floating point overflow"},
                                           ErrorCase{"1e18!", "Floating point overflow"},
                                           ErrorCase{"sinh(1000)", "Floating point overflow"},
                                           ErrorCase{"7 div 0", "Division by zero"},
                                           ErrorCase{"7 mod 0.4", "Division by zero"}));

TEST(ExpressionParser, UnknownNamesAreNotANumberAndPropagate)
{
    EXPECT_TRUE(std::isnan(Evaluate("abc")));
    EXPECT_TRUE(std::isnan(Evaluate("abc * 2 + sqrt(abc) / 0")));
    EXPECT_TRUE(std::isnan(Evaluate("max(abc, 1)")));
}

TEST(ExpressionParser, BooleanResultsNeedABooleanExpression)
{
    const char* cases[] = {"1 + 1", "if(1, 1 = 1, 0)", "abc", "x", "round(1 = 1)", "pos('a', 'a')"};
    for (const char* sExpr : cases) {
        double x = 1;
        TExpressionParser parser;
        parser.DefineVariable(QStringLiteral("x"), &x);
        const int iIndex = parser.AddExpression(Q(sExpr));
        EXPECT_EQ(ErrorOf<EParserException>([&] { parser.GetAsBoolean(iIndex); }),
                  QStringLiteral("Error in math expression: Expression is not boolean"))
            << sExpr;
    }
}

TEST(ExpressionParser, AddExpressionReusesATextAddedBefore)
{
    TExpressionParser parser;
    EXPECT_EQ(parser.AddExpression(QString()), -1);
    EXPECT_EQ(parser.AddExpression(QStringLiteral("   ")), -1);
    EXPECT_TRUE(std::isnan(parser.GetResults(-1)));

    EXPECT_EQ(parser.AddExpression(QStringLiteral("1 + 2")), 0);
    EXPECT_EQ(parser.AddExpression(QStringLiteral("X * 2")), 1);
    EXPECT_EQ(parser.CurrentIndex(), 1);
    EXPECT_EQ(parser.AddExpression(QStringLiteral(" 1 + 2 ")), 0);
    EXPECT_EQ(parser.CurrentIndex(), 0);
    EXPECT_EQ(parser.AddExpression(QStringLiteral("x * 2")), 1);
    EXPECT_EQ(parser.Count(), 2);
    EXPECT_EQ(parser.ExpressionText(1), QStringLiteral("x * 2"));
    EXPECT_EQ(parser.GetResults(0), 3.0);
    EXPECT_EQ(ErrorOf<EError>([&] { parser.GetResults(2); }), QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(ErrorOf<EError>([&] { parser.GetAsBoolean(2); }),
              QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.GetAsBoolean(-1); }),
              QStringLiteral("Error in math expression: Expression is not boolean"));
}

TEST(ExpressionParser, UnknownNamesAreSharedVariablesOfOneEvaluator)
{
    TExpressionParser parser;
    EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("Count := 2 + 3"))), 5.0);
    EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("count * 2"))), 10.0);
    EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("count++"))), 6.0);
    EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("count++"))), 7.0);
    EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("count--"))), 6.0);
}

TEST(ExpressionParser, VariablesAreReadAndWrittenAtEveryEvaluation)
{
    double x = 5.02;
    double y = 0;
    TExpressionParser parser;
    parser.DefineVariable(QStringLiteral("X"), &x);
    parser.DefineVariable(QStringLiteral("y"), &y);
    const int iLimit = parser.AddExpression(QStringLiteral("x >= 4.9 and x <= 5.1"));
    EXPECT_TRUE(parser.GetAsBoolean(iLimit));
    x = 5.2;
    EXPECT_FALSE(parser.GetAsBoolean(iLimit));

    const int iAssign = parser.AddExpression(QStringLiteral("y := x * 2"));
    EXPECT_DOUBLE_EQ(parser.GetResults(iAssign), 10.4);
    EXPECT_DOUBLE_EQ(y, 10.4);

    const int iIncrement = parser.AddExpression(QStringLiteral("y++ + 0"));
    EXPECT_DOUBLE_EQ(parser.GetResults(iIncrement), 11.4);
    EXPECT_DOUBLE_EQ(parser.GetResults(iIncrement), 12.4);
    EXPECT_DOUBLE_EQ(y, 12.4);

    EXPECT_EQ(ErrorOf<EError>([&] { parser.DefineVariable(QStringLiteral("x"), &y); }),
              QStringLiteral("Error in math expression: x is already defined"));
}

TEST(ExpressionParser, StringVariablesCompareWithTheirCurrentValue)
{
    QString s = QStringLiteral("abc");
    TExpressionParser parser;
    parser.DefineStringVariable(QStringLiteral("s"), &s);
    const int iEqual = parser.AddExpression(QStringLiteral("s = 'abc'"));
    const int iPos = parser.AddExpression(QStringLiteral("pos('c', s)"));
    const int iIn = parser.AddExpression(QStringLiteral("s in 'x,abc'"));
    EXPECT_TRUE(parser.GetAsBoolean(iEqual));
    EXPECT_EQ(parser.GetResults(iPos), 3.0);
    EXPECT_TRUE(parser.GetAsBoolean(iIn));
    s = QStringLiteral("cab");
    EXPECT_FALSE(parser.GetAsBoolean(iEqual));
    EXPECT_EQ(parser.GetResults(iPos), 1.0);
    EXPECT_FALSE(parser.GetAsBoolean(iIn));
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(QStringLiteral("s + 1")); }),
              QStringLiteral("Error in math expression: String operand s cannot be used as a number"));
}

TEST(ExpressionParser, ConstantPartsAreFoldedIntoOneConstant)
{
    TExpressionParser parser;
    EXPECT_EQ(ErrorOf<EMathError>([&] { parser.AddExpression(QStringLiteral("2 + 1/0")); }),
              QStringLiteral("Floating point division by zero"));
    const int iLimit = parser.AddExpression(QStringLiteral("5.02 >= 4.9 and 5.02 <= 5.1"));
    ASSERT_EQ(RecordCount(parser, iLimit), 1);
    EXPECT_NE(dynamic_cast<const TBooleanConstant*>(parser.EvaluationList(iLimit)->ExprWord), nullptr);

    const int iCalc = parser.AddExpression(QStringLiteral("sqrt(3^2 + 4^2) * sin(pi / 2)"));
    ASSERT_EQ(RecordCount(parser, iCalc), 1);
    const TExprWord* pWord = parser.EvaluationList(iCalc)->ExprWord;
    EXPECT_EQ(typeid(*pWord), typeid(TDoubleConstant));
    EXPECT_EQ(parser.ResultType(iCalc), vtDouble);

    const int iString = parser.AddExpression(QStringLiteral("'abc' in 'x,abc'"));
    ASSERT_EQ(RecordCount(parser, iString), 1);
    EXPECT_NE(dynamic_cast<const TBooleanConstant*>(parser.EvaluationList(iString)->ExprWord), nullptr);
}

TEST(ExpressionParser, PartsThatCanVaryStayInTheList)
{
    double x = 2;
    TExpressionParser parser;
    parser.DefineVariable(QStringLiteral("x"), &x);

    // Only "+" remains: 2 * 3 becomes a constant argument.
    const int iMixed = parser.AddExpression(QStringLiteral("x + 2 * 3"));
    ASSERT_EQ(RecordCount(parser, iMixed), 1);
    const TExpressionRec* pRec = parser.EvaluationList(iMixed);
    EXPECT_EQ(pRec->ExprWord->Name(), QStringLiteral("+"));
    EXPECT_EQ(pRec->Args[0], &x);
    EXPECT_EQ(*pRec->Args[1], 6.0);

    EXPECT_EQ(RecordCount(parser, parser.AddExpression(QStringLiteral("unknown + 1 * 2"))), 1);
    EXPECT_EQ(RecordCount(parser, parser.AddExpression(QStringLiteral("random * (1 + 1)"))), 2);
    EXPECT_EQ(RecordCount(parser, parser.AddExpression(QStringLiteral("randg(0, 1) + 1"))), 2);
    // A lone variable still gets a record that hands out its value.
    EXPECT_EQ(RecordCount(parser, parser.AddExpression(QStringLiteral("x"))), 1);
}

TEST(ExpressionParser, WithoutFoldingArgumentsComeBeforeTheirOperation)
{
    TExpressionParser parser;
    parser.SetOptimize(false);
    const int iIndex = parser.AddExpression(QStringLiteral("sqrt(16) + 2 * 3 - 1"));
    QStringList names;
    for (const TExpressionRec* pRec = parser.EvaluationList(iIndex); pRec; pRec = pRec->Next)
        names << pRec->ExprWord->Name();
    EXPECT_EQ(names, QStringList({QStringLiteral("sqrt"), QStringLiteral("*"), QStringLiteral("+"),
                                  QStringLiteral("-")}));
    EXPECT_EQ(parser.GetResults(iIndex), 9.0);

    // Evaluation computes every argument: "if" does not skip the branch it does not take.
    const int iIf = parser.AddExpression(QStringLiteral("if(1, 2, 1/0)"));
    EXPECT_EQ(ErrorOf<EMathError>([&] { parser.GetResults(iIf); }),
              QStringLiteral("Floating point division by zero"));
}

TEST(ExpressionParser, RandomValuesVaryAndStayInRange)
{
    TExpressionParser parser;
    const int iRandom = parser.AddExpression(QStringLiteral("random"));
    const int iNormal = parser.AddExpression(QStringLiteral("randg(10, 2)"));
    const int iFixed = parser.AddExpression(QStringLiteral("randg(3, 0)"));
    double rFirst = parser.GetResults(iRandom);
    bool bVaried = false;
    double rSum = 0;
    const int iSamples = 4000;
    for (int i = 0; i < iSamples; ++i) {
        const double r = parser.GetResults(iRandom);
        EXPECT_GE(r, 0.0);
        EXPECT_LT(r, 1.0);
        bVaried = bVaried || r != rFirst;
        rSum += parser.GetResults(iNormal);
        EXPECT_EQ(parser.GetResults(iFixed), 3.0);
    }
    EXPECT_TRUE(bVaried);
    // The standard error of the mean is 2 / sqrt(4000) = 0.03.
    EXPECT_NEAR(rSum / iSamples, 10.0, 0.3);
}

TEST(ExpressionParser, DecimalCommaSeparatesArgumentsWithSemicolon)
{
    TFormatSettings::App().cDecimalSeparator = QLatin1Char(',');
    {
        TExpressionParser parser;
        EXPECT_EQ(parser.DecimSeparator(), QLatin1Char(','));
        EXPECT_EQ(parser.ArgSeparator(), QLatin1Char(';'));
        EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("max(1,5; 2)"))), 2.0);
        EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("max(2,5;2)"))), 2.5);
        EXPECT_EQ(parser.GetResults(parser.AddExpression(QStringLiteral("1,5 ^ 2"))), 2.25);
        EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(QStringLiteral("max(1, 2)")); }),
                  QStringLiteral("Error in math expression: 1, two space limited variables/constants"));
    }
    TFormatSettings::ResetApp();
    TExpressionParser parser;
    EXPECT_EQ(parser.ArgSeparator(), QLatin1Char(','));
}

TEST(ExpressionParser, HostileNestingRaisesInsteadOfOverflowingTheStack)
{
    const int n = 100000;
    TExpressionParser parser;
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(QString(n, QLatin1Char('('))); }),
              QStringLiteral("Unequal brackets"));

    const QString sBracketed =
        QString(n, QLatin1Char('(')) + QStringLiteral("1") + QString(n, QLatin1Char(')'));
    EXPECT_EQ(parser.GetResults(parser.AddExpression(sBracketed)), 1.0);

    const QString sDeep =
        QStringLiteral("-(").repeated(n) + QStringLiteral("1") + QString(n, QLatin1Char(')'));
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(sDeep); }),
              QStringLiteral("Error in math expression: Expression nested too deeply"));

    const QString sCalls =
        QStringLiteral("sqrt(").repeated(n) + QStringLiteral("1") + QString(n, QLatin1Char(')'));
    EXPECT_EQ(ErrorOf<EParserException>([&] { parser.AddExpression(sCalls); }),
              QStringLiteral("Error in math expression: Expression nested too deeply"));

    // Nesting that hand-written terms use stays well within the limit.
    const QString sModest =
        QStringLiteral("-(").repeated(50) + QStringLiteral("1") + QString(50, QLatin1Char(')'));
    EXPECT_EQ(parser.GetResults(parser.AddExpression(sModest)), 1.0);
}

TEST(ExpressionParser, LongChainsNeedNoDeepRecursion)
{
    const QString sChain = QStringLiteral("1+").repeated(100000) + QStringLiteral("1");
    TExpressionParser folding;
    EXPECT_EQ(folding.GetResults(folding.AddExpression(sChain)), 100001.0);

    TExpressionParser plain;
    plain.SetOptimize(false);
    const int iIndex = plain.AddExpression(sChain);
    EXPECT_EQ(RecordCount(plain, iIndex), 100000);
    EXPECT_EQ(plain.GetResults(iIndex), 100001.0);
}

TEST(ExpressionParser, WordsListIsSortedAndSearchedWithoutRegardToCase)
{
    TExpressionParser parser;
    const auto& words = parser.Words();
    for (std::size_t i = 1; i < words.size(); ++i)
        EXPECT_LT(words[i - 1]->Name(), words[i]->Name());
    ASSERT_NE(parser.FindWord(u"SQRT"), nullptr);
    EXPECT_EQ(parser.FindWord(u"SQRT")->NFunctionArg(), 1);
    EXPECT_EQ(parser.FindWord(u"Pi")->Description(), QStringLiteral("pi"));
    EXPECT_EQ(parser.FindWord(u"nosuch"), nullptr);
    EXPECT_EQ(parser.FindWord(u",")->VarType(), vtComma);
    // An evaluation record has room for six arguments.
    EXPECT_THROW(TFunction(QStringLiteral("f7"), QString(), nullptr, 7), EError);
}

} // namespace
