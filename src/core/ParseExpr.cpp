#include "ParseExpr.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace {

using TRec = TExpressionRec;

// The arithmetic errors of evaluation, with the texts callers show.
[[noreturn]] void RaiseZeroDivide()
{
    throw EMathError(QStringLiteral("Floating point division by zero"));
}

[[noreturn]] void RaiseInvalidOp()
{
    throw EMathError(QStringLiteral("Invalid floating point operation"));
}

[[noreturn]] void RaiseOverflow()
{
    throw EMathError(QStringLiteral("Floating point overflow"));
}

[[noreturn]] void RaiseDivByZero()
{
    throw EMathError(QStringLiteral("Division by zero"));
}

[[noreturn]] void RaiseFor(double rResult)
{
    if (std::isnan(rResult))
        RaiseInvalidOp();
    RaiseOverflow();
}

// A result that is not finite although its operands are is an arithmetic error; a not-a-number
// operand (an unknown name) passes on silently.
inline double Checked(double rResult, double a)
{
    if (std::isfinite(rResult) || !std::isfinite(a))
        return rResult;
    RaiseFor(rResult);
}

inline double Checked(double rResult, double a, double b)
{
    if (std::isfinite(rResult) || !std::isfinite(a) || !std::isfinite(b))
        return rResult;
    RaiseFor(rResult);
}

// Rounded to the nearest 64-bit integer, halves to even; not-a-number or out of range is invalid.
inline std::int64_t Rounded(double a)
{
    if (!(a >= -9223372036854775808.0 && a < 9223372036854775808.0))
        RaiseInvalidOp();
    // Adding and taking away 2^52 rounds in the FPU's mode, nearest with halves to even, without
    // a library call; from 2^52 on every double is an integer already.
    const double rMagic = 4503599627370496.0;
    const double rAbs = std::fabs(a);
    if (rAbs < rMagic)
        a = std::copysign((rAbs + rMagic) - rMagic, a);
    return static_cast<std::int64_t>(a);
}

inline std::int64_t Truncated(double a)
{
    if (!(a > -9223372036854775809.0 && a < 9223372036854775808.0))
        RaiseInvalidOp();
    return static_cast<std::int64_t>(a);
}

double Divided(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::numeric_limits<double>::quiet_NaN();
    if (b == 0.0) {
        if (a == 0.0)
            RaiseInvalidOp();
        RaiseZeroDivide();
    }
    return Checked(a / b, a, b);
}

double Powered(double a, double b)
{
    const double r = std::pow(a, b);
    if (std::isfinite(r) || !std::isfinite(a) || !std::isfinite(b))
        return r;
    if (std::isnan(r))
        RaiseInvalidOp();
    if (a == 0.0)
        RaiseZeroDivide();
    RaiseOverflow();
}

// x to an integer power by multiplication (squaring keeps it to 64 steps for any exponent).
double IntPowered(double x, std::int64_t n)
{
    std::uint64_t e = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    double r = 1.0;
    double f = x;
    while (e) {
        if (e & 1u)
            r *= f;
        e >>= 1;
        if (e)
            f *= f;
    }
    if (n < 0) {
        if (std::isnan(r))
            return r;
        return Divided(1.0, r);
    }
    return Checked(r, x);
}

double Logarithm(double a)
{
    if (a == 0.0)
        RaiseInvalidOp();
    return Checked(std::log(a), a);
}

// The evaluator's random numbers: one generator per thread, seeded once.
std::mt19937& Generator()
{
    thread_local std::mt19937 gen{std::random_device{}()};
    return gen;
}

// Uniform in [0, 1) with the full 53 bits of a double.
double RandomValue()
{
    std::mt19937& gen = Generator();
    const std::uint64_t uHigh = gen() >> 5;
    const std::uint64_t uLow = gen() >> 6;
    return static_cast<double>((uHigh << 26) | uLow) * (1.0 / 9007199254740992.0);
}

double A0(const TRec& r)
{
    return *r.Args[0];
}

double A1(const TRec& r)
{
    return *r.Args[1];
}

double Bool(bool b)
{
    return b ? 1.0 : 0.0;
}

// Operators.
void OpIncrement(TRec& r)
{
    *r.Args[0] = Checked(A0(r) + 1.0, A0(r));
    r.Res = A0(r);
}

void OpDecrement(TRec& r)
{
    *r.Args[0] = Checked(A0(r) - 1.0, A0(r));
    r.Res = A0(r);
}

void OpFactorial(TRec& r)
{
    const std::int64_t n = Rounded(A0(r));
    // 171! and beyond do not fit a double.
    if (n > 170)
        RaiseOverflow();
    double rResult = 1.0;
    for (std::int64_t i = 2; i <= n; ++i)
        rResult *= static_cast<double>(i);
    r.Res = rResult;
}

void OpPercent(TRec& r)
{
    r.Res = A0(r) * 0.01;
}

void OpNegate(TRec& r)
{
    r.Res = -A0(r);
}

void OpPositive(TRec& r)
{
    r.Res = A0(r);
}

void OpPower(TRec& r)
{
    r.Res = Powered(A0(r), A1(r));
}

void OpIntPower(TRec& r)
{
    r.Res = IntPowered(A0(r), Rounded(A1(r)));
}

void OpMultiply(TRec& r)
{
    r.Res = Checked(A0(r) * A1(r), A0(r), A1(r));
}

void OpDivide(TRec& r)
{
    r.Res = Divided(A0(r), A1(r));
}

void OpDiv(TRec& r)
{
    const std::int64_t a = Rounded(A0(r));
    const std::int64_t b = Rounded(A1(r));
    if (b == 0)
        RaiseDivByZero();
    // The one quotient that does not fit 64 bits.
    if (a == std::numeric_limits<std::int64_t>::min() && b == -1)
        r.Res = 9223372036854775808.0;
    else
        r.Res = static_cast<double>(a / b);
}

void OpMod(TRec& r)
{
    const std::int64_t a = Rounded(A0(r));
    const std::int64_t b = Rounded(A1(r));
    if (b == 0)
        RaiseDivByZero();
    r.Res = b == -1 ? 0.0 : static_cast<double>(a % b);
}

void OpAdd(TRec& r)
{
    r.Res = Checked(A0(r) + A1(r), A0(r), A1(r));
}

void OpSubtract(TRec& r)
{
    r.Res = Checked(A0(r) - A1(r), A0(r), A1(r));
}

void OpGreater(TRec& r)
{
    r.Res = Bool(A0(r) > A1(r));
}

void OpGreaterEqual(TRec& r)
{
    r.Res = Bool(A1(r) <= A0(r) + 1e-30);
}

void OpLessEqual(TRec& r)
{
    r.Res = Bool(A0(r) <= A1(r) + 1e-30);
}

void OpLess(TRec& r)
{
    r.Res = Bool(A0(r) < A1(r));
}

void OpNotEqual(TRec& r)
{
    r.Res = Bool(std::fabs(A0(r) - A1(r)) > 1e-30);
}

void OpEqual(TRec& r)
{
    r.Res = Bool(std::fabs(A0(r) - A1(r)) < 1e-30);
}

void OpNot(TRec& r)
{
    r.Res = static_cast<double>((Rounded(A0(r)) & 0xFF) ^ 1);
}

void OpOr(TRec& r)
{
    r.Res = static_cast<double>(Rounded(A0(r)) | Rounded(A1(r)));
}

void OpAnd(TRec& r)
{
    r.Res = static_cast<double>(Rounded(A0(r)) & Rounded(A1(r)));
}

void OpXor(TRec& r)
{
    r.Res = static_cast<double>(Rounded(A0(r)) ^ Rounded(A1(r)));
}

void OpAssign(TRec& r)
{
    *r.Args[0] = A1(r);
    r.Res = A1(r);
}

// Functions.
void FnRandom(TRec& r)
{
    r.Res = RandomValue();
}

void FnExp(TRec& r)
{
    r.Res = Checked(std::exp(A0(r)), A0(r));
}

void FnIf(TRec& r)
{
    r.Res = (Rounded(A0(r)) & 0xFF) != 0 ? A1(r) : *r.Args[2];
}

void FnRandG(TRec& r)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    r.Res = Checked(A0(r) + A1(r) * normal(Generator()), A0(r), A1(r));
}

void FnSqr(TRec& r)
{
    r.Res = Checked(A0(r) * A0(r), A0(r));
}

void FnSqrt(TRec& r)
{
    r.Res = Checked(std::sqrt(A0(r)), A0(r));
}

void FnAbs(TRec& r)
{
    r.Res = std::fabs(A0(r));
}

void FnRound(TRec& r)
{
    r.Res = static_cast<double>(Rounded(A0(r)));
}

void FnTrunc(TRec& r)
{
    r.Res = static_cast<double>(Truncated(A0(r)));
}

void FnLn(TRec& r)
{
    r.Res = Logarithm(A0(r));
}

void FnLog10(TRec& r)
{
    if (A0(r) == 0.0)
        RaiseInvalidOp();
    r.Res = Checked(std::log10(A0(r)), A0(r));
}

void FnLogN(TRec& r)
{
    r.Res = Divided(Logarithm(A1(r)), Logarithm(A0(r)));
}

void FnMax(TRec& r)
{
    r.Res = A1(r) > A0(r) ? A1(r) : A0(r);
}

void FnMin(TRec& r)
{
    r.Res = A0(r) > A1(r) ? A1(r) : A0(r);
}

void FnSin(TRec& r)
{
    r.Res = Checked(std::sin(A0(r)), A0(r));
}

void FnCos(TRec& r)
{
    r.Res = Checked(std::cos(A0(r)), A0(r));
}

void FnTan(TRec& r)
{
    r.Res = Checked(std::tan(A0(r)), A0(r));
}

void FnArcSin(TRec& r)
{
    r.Res = Checked(std::asin(A0(r)), A0(r));
}

void FnArcCos(TRec& r)
{
    r.Res = Checked(std::acos(A0(r)), A0(r));
}

void FnArcTan2(TRec& r)
{
    r.Res = std::atan2(A0(r), A1(r));
}

void FnArcTan(TRec& r)
{
    r.Res = std::atan(A0(r));
}

void FnSinh(TRec& r)
{
    r.Res = Checked(std::sinh(A0(r)), A0(r));
}

void FnCosh(TRec& r)
{
    r.Res = Checked(std::cosh(A0(r)), A0(r));
}

void FnTanh(TRec& r)
{
    r.Res = std::tanh(A0(r));
}

void FnArcSinh(TRec& r)
{
    r.Res = std::asinh(A0(r));
}

void FnArcCosh(TRec& r)
{
    r.Res = Checked(std::acosh(A0(r)), A0(r));
}

void FnArcTanh(TRec& r)
{
    // The poles at -1 and 1.
    if (std::fabs(A0(r)) == 1.0)
        RaiseZeroDivide();
    r.Res = Checked(std::atanh(A0(r)), A0(r));
}

void FnDegToRad(TRec& r)
{
    r.Res = A0(r) * 0.017453292519943295769;
}

void FnRadToDeg(TRec& r)
{
    r.Res = Checked(A0(r) * 57.295779513082320877, A0(r));
}

// 1-based position of the first string in the second; 0 when absent (an empty text is never found).
double StrPos(const QString& sSub, const QString& sText)
{
    if (sSub.isEmpty())
        return 0.0;
    return static_cast<double>(sText.indexOf(sSub) + 1);
}

// A text of static storage, used without copying it.
QString Lit(const char16_t* s)
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(s),
                                static_cast<qsizetype>(std::char_traits<char16_t>::length(s)));
}

} // namespace

TExpressionParser::TExpressionParser()
{
    const auto oper = [this](const char16_t* sName, TExprFunc aFunc, int iArgs, int iPrec,
                             const char16_t* sDescription) {
        return AddWord(std::make_unique<TFunction>(Lit(sName), Lit(sDescription), aFunc, iArgs, true, iPrec));
    };
    const auto boolOper = [this](const char16_t* sName, TExprFunc aFunc, int iArgs, int iPrec,
                                 const char16_t* sDescription) {
        return AddWord(
            std::make_unique<TBooleanFunction>(Lit(sName), Lit(sDescription), aFunc, iArgs, true, iPrec));
    };
    const auto func = [this](const char16_t* sName, TExprFunc aFunc, int iArgs,
                             const char16_t* sDescription) {
        return AddWord(std::make_unique<TFunction>(Lit(sName), Lit(sDescription), aFunc, iArgs));
    };
    const auto varyingFunc = [this](const char16_t* sName, TExprFunc aFunc, int iArgs,
                                    const char16_t* sDescription) {
        return AddWord(std::make_unique<TVaryingFunction>(Lit(sName), Lit(sDescription), aFunc, iArgs));
    };

    oper(u"++", &OpIncrement, 1, 5, u"adds 1 to the operand");
    oper(u"--", &OpDecrement, 1, 5, u"subtracts 1 from the operand");
    oper(u"!", &OpFactorial, 1, 10, u"factorial");
    oper(u"%", &OpPercent, 1, 10, u"percent");
    // The signs and the integer power have names no token can match: the preparing step puts them in.
    FUnaryMinus = oper(u"unary -", &OpNegate, 1, 10, u"negation");
    FUnaryPlus = oper(u"unary +", &OpPositive, 1, 10, u"the operand");
    boolOper(u"in", &OpEqual, 2, 10, u"equal");
    FPower = oper(u"^", &OpPower, 2, 20, u"power");
    FIntPower = oper(u"integer ^", &OpIntPower, 2, 20, u"integer power");
    oper(u"*", &OpMultiply, 2, 30, u"product");
    oper(u"/", &OpDivide, 2, 30, u"quotient");
    oper(u"div", &OpDiv, 2, 30, u"integer quotient");
    oper(u"mod", &OpMod, 2, 30, u"remainder");
    FPlus = oper(u"+", &OpAdd, 2, 40, u"sum");
    FMinus = oper(u"-", &OpSubtract, 2, 40, u"difference");
    boolOper(u">", &OpGreater, 2, 50, u"greater");
    boolOper(u">=", &OpGreaterEqual, 2, 50, u"greater or equal");
    boolOper(u"<=", &OpLessEqual, 2, 50, u"less or equal");
    boolOper(u"<", &OpLess, 2, 50, u"less");
    boolOper(u"<>", &OpNotEqual, 2, 50, u"not equal");
    boolOper(u"=", &OpEqual, 2, 50, u"equal");
    FNot = boolOper(u"not", &OpNot, 1, 60, u"logical not");
    boolOper(u"or", &OpOr, 2, 70, u"bitwise or");
    boolOper(u"and", &OpAnd, 2, 70, u"bitwise and");
    boolOper(u"xor", &OpXor, 2, 70, u"bitwise exclusive or");
    oper(u":=", &OpAssign, 2, 200, u"assignment");

    AddWord(std::make_unique<TConstant>(QStringLiteral("pi"), 3.141592653589793, QStringLiteral("pi")));
    varyingFunc(u"random", &FnRandom, 0, u"uniformly distributed random value in [0, 1)");
    func(u"exp", &FnExp, 1, u"e to the power x");
    func(u"if", &FnIf, 3, u"second argument if the first is true, else the third");
    varyingFunc(u"randg", &FnRandG, 2, u"normally distributed random value (mean, standard deviation)");
    func(u"sqr", &FnSqr, 1, u"square");
    func(u"sqrt", &FnSqrt, 1, u"square root");
    func(u"abs", &FnAbs, 1, u"absolute value");
    func(u"round", &FnRound, 1, u"rounded, halves to even");
    func(u"trunc", &FnTrunc, 1, u"truncated toward zero");
    func(u"ln", &FnLn, 1, u"natural logarithm");
    func(u"log10", &FnLog10, 1, u"logarithm base 10");
    func(u"logn", &FnLogN, 2, u"logarithm of the second to the base of the first");
    func(u"power", &OpPower, 2, u"first to the power of second");
    func(u"pow", &OpPower, 2, u"first to the power of second");
    func(u"intpower", &OpIntPower, 2, u"first to the integer power of second");
    func(u"max", &FnMax, 2, u"maximum");
    func(u"min", &FnMin, 2, u"minimum");
    func(u"sin", &FnSin, 1, u"sine");
    func(u"cos", &FnCos, 1, u"cosine");
    func(u"tan", &FnTan, 1, u"tangent");
    func(u"arcsin", &FnArcSin, 1, u"inverse sine");
    func(u"arccos", &FnArcCos, 1, u"inverse cosine");
    func(u"arctan2", &FnArcTan2, 2, u"angle of first/second in the right quadrant");
    func(u"arctan", &FnArcTan, 1, u"inverse tangent");
    func(u"sinh", &FnSinh, 1, u"hyperbolic sine");
    func(u"cosh", &FnCosh, 1, u"hyperbolic cosine");
    func(u"tanh", &FnTanh, 1, u"hyperbolic tangent");
    func(u"arcsinh", &FnArcSinh, 1, u"inverse hyperbolic sine");
    func(u"arccosh", &FnArcCosh, 1, u"inverse hyperbolic cosine");
    func(u"arctanh", &FnArcTanh, 1, u"inverse hyperbolic tangent");
    func(u"degtorad", &FnDegToRad, 1, u"degrees to radians");
    func(u"radtodeg", &FnRadToDeg, 1, u"radians to degrees");
    AddWord(std::make_unique<TSimpleStringFunction>(
        QStringLiteral("pos"), QStringLiteral("position of the first string in the second"), &StrPos));
}

TExpressionParser::~TExpressionParser() = default;

int TExpressionParser::AddExpression(const QString& AnExpression)
{
    QString sText = PrepareText(AnExpression);
    if (sText.isEmpty())
        return -1;
    for (std::size_t i = 0; i < Expressions.size(); ++i) {
        if (Expressions[i].sText == sText) {
            MakeCurrent(static_cast<int>(i));
            return static_cast<int>(i);
        }
    }
    TEvaluationList list = Compile(sText);
    Expressions.push_back(TExpression{std::move(sText), std::move(list)});
    const int iIndex = static_cast<int>(Expressions.size()) - 1;
    MakeCurrent(iIndex);
    return iIndex;
}

const TExpressionParser::TExpression& TExpressionParser::At(int AIndex) const
{
    if (AIndex < 0 || AIndex >= Count())
        RaiseIndex(AIndex);
    return Expressions[static_cast<std::size_t>(AIndex)];
}

void TExpressionParser::RaiseIndex(int AIndex)
{
    throw EError(QStringLiteral("List index out of bounds (%1)").arg(AIndex));
}

void TExpressionParser::RaiseNoBooleanAt(int AIndex)
{
    if (AIndex < 0)
        RaiseNotBoolean();
    RaiseIndex(AIndex);
}

void TExpressionParser::RaiseNotBoolean()
{
    throw EParserException(QStringLiteral("Error in math expression: Expression is not boolean"));
}

void TExpressionParser::MakeCurrent(int AIndex)
{
    TEvaluationList& list = ListAt(AIndex);
    FCurrentIndex = AIndex;
    CurrentRec = list.First();
    LastRec = list.Last();
}
