#pragma once

#include <QString>

#include <memory>

// The words of an expression: constants, variables, brackets, operators and functions, and the
// evaluation record that computes one word of a compiled expression.

// Result type of a word.
enum TVarType
{
    vtDouble,
    vtBoolean,
    vtString,
    vtLeftBracket,
    vtRightBracket,
    vtComma
};

class TExprWord;
struct TExpressionRec;

// The operation of a word: reads the record's argument values and writes its result value.
using TExprFunc = void (*)(TExpressionRec& aRec);

// A function of two strings giving a number (string comparisons, "pos").
using TStringFunc = double (*)(const QString& sLeft, const QString& sRight);

// Operators and functions take at most this many arguments.
constexpr int cMaxArg = 6;

// One step of an evaluation list. Args point at the value storage of a variable or constant or
// at the Res of an earlier record; they do not own anything.
struct TExpressionRec
{
    TExprFunc Oper = nullptr;
    TExpressionRec* Next = nullptr;
    double Res = 0.0;
    TExprWord* ExprWord = nullptr;
    double* Args[cMaxArg] = {};
};

// The plain value copy (Res = *Args[0]): the operation of every constant and variable.
void CopyValue(TExpressionRec& aRec);

class TExprWord
{
public:
    TExprWord(const QString& sName, TExprFunc aDoubleFunc);
    virtual ~TExprWord();
    TExprWord(const TExprWord&) = delete;
    TExprWord& operator=(const TExprWord&) = delete;

    // Stored in lower case; the words list is searched without regard to case.
    const QString& Name() const { return FName; }
    TExprFunc DoubleFunc() const { return FDoubleFunc; }
    // Constants and variables: their operation is the plain value copy.
    bool isVariable() const { return FDoubleFunc == &CopyValue; }

    virtual bool IsOper() const { return false; }
    virtual QString AsString() const { return QString(); }
    virtual bool CanVary() const { return false; }
    virtual TVarType VarType() const { return vtDouble; }
    virtual int NFunctionArg() const { return 0; }
    virtual QString Description() const { return QString(); }
    // The number storage of a constant or variable; null for every other word and for strings.
    virtual double* AsPointer() { return nullptr; }

protected:
    QString FName;
    TExprFunc FDoubleFunc;
};

class TDoubleConstant : public TExprWord
{
public:
    // A constant computed while compiling: it has no text of its own.
    explicit TDoubleConstant(double rValue);
    // A number written in an expression; sText is kept as its name.
    TDoubleConstant(const QString& sText, double rValue);

    double* AsPointer() override { return &FValue; }

protected:
    double FValue;
};

// A named constant such as "pi".
class TConstant : public TDoubleConstant
{
public:
    TConstant(const QString& sName, double rValue, const QString& sDescription);

    QString Description() const override { return FDescription; }

private:
    QString FDescription;
};

// The folded value of a Boolean part of an expression.
class TBooleanConstant : public TDoubleConstant
{
public:
    explicit TBooleanConstant(double rValue) : TDoubleConstant(rValue) {}

    TVarType VarType() const override { return vtBoolean; }
};

// Stands for a name the evaluator does not know: a number that is not a number.
class TGeneratedVariable : public TDoubleConstant
{
public:
    explicit TGeneratedVariable(const QString& sName);

    QString AsString() const override { return FAsString; }
    bool CanVary() const override { return true; }
    TVarType VarType() const override { return FVarType; }

private:
    QString FAsString;
    TVarType FVarType = vtDouble;
};

// A number held by the caller.
class TDoubleVariable : public TExprWord
{
public:
    TDoubleVariable(const QString& sName, double* pValue);

    bool CanVary() const override { return true; }
    double* AsPointer() override { return FValue; }

private:
    double* FValue;
};

class TStringConstant : public TExprWord
{
public:
    // sText is the literal as written (with its quotes), sValue the text between the quotes.
    TStringConstant(const QString& sText, const QString& sValue);

    QString AsString() const override { return FValue; }
    TVarType VarType() const override { return vtString; }

private:
    QString FValue;
};

// A string held by the caller.
class TStringVariable : public TExprWord
{
public:
    TStringVariable(const QString& sName, const QString* pValue);

    QString AsString() const override { return *FValue; }
    bool CanVary() const override { return true; }
    TVarType VarType() const override { return vtString; }

private:
    const QString* FValue;
};

class TLeftBracket : public TExprWord
{
public:
    TLeftBracket() : TExprWord(QStringLiteral("("), nullptr) {}

    TVarType VarType() const override { return vtLeftBracket; }
};

class TRightBracket : public TExprWord
{
public:
    TRightBracket() : TExprWord(QStringLiteral(")"), nullptr) {}

    TVarType VarType() const override { return vtRightBracket; }
};

// The argument separator.
class TComma : public TExprWord
{
public:
    explicit TComma(const QString& sName) : TExprWord(sName, nullptr) {}

    TVarType VarType() const override { return vtComma; }
};

// Operators and functions.
class TFunction : public TExprWord
{
public:
    TFunction(const QString& sName, const QString& sDescription, TExprFunc aDoubleFunc, int iNFunctionArg,
              bool bIsOper = false, int iOperPrec = 0);

    bool IsOper() const override { return FIsOper; }
    int NFunctionArg() const override { return FNFunctionArg; }
    QString Description() const override { return FDescription; }
    // A smaller number binds tighter; functions have 0.
    int OperPrec() const { return FOperPrec; }

private:
    bool FIsOper;
    int FOperPrec;
    int FNFunctionArg;
    QString FDescription;
};

// A function that gives a new value at each evaluation (random values): never folded.
class TVaryingFunction : public TFunction
{
public:
    using TFunction::TFunction;

    bool CanVary() const override { return true; }
};

class TBooleanFunction : public TFunction
{
public:
    using TFunction::TFunction;

    TVarType VarType() const override { return vtBoolean; }
};

// A function of two strings giving a number. The word in the words list is a prototype that
// takes two arguments; compiling binds it to its two string operands with Bind().
class TSimpleStringFunction : public TFunction
{
public:
    // The prototype.
    TSimpleStringFunction(const QString& sName, const QString& sDescription, TStringFunc aStringFunc);
    // Bound to its operands, which stay owned by the evaluator.
    TSimpleStringFunction(const QString& sName, const QString& sDescription, TStringFunc aStringFunc,
                          TExprWord* aLeftArg, TExprWord* aRightArg);

    bool CanVary() const override;
    bool IsBound() const { return FLeftArg != nullptr; }
    virtual std::unique_ptr<TSimpleStringFunction> Bind(TExprWord* aLeftArg, TExprWord* aRightArg) const;

    // The operation of every bound string word.
    static void Evaluate(TExpressionRec& aRec);

protected:
    TStringFunc FStringFunc;
    TExprWord* FLeftArg = nullptr;
    TExprWord* FRightArg = nullptr;
};

class TVaryingStringFunction : public TSimpleStringFunction
{
public:
    using TSimpleStringFunction::TSimpleStringFunction;

    bool CanVary() const override { return true; }
    std::unique_ptr<TSimpleStringFunction> Bind(TExprWord* aLeftArg, TExprWord* aRightArg) const override;
};

// A comparison of two strings: "=", "<>", ">", "<", ">=", "<=" or "in".
class TLogicalStringOper : public TSimpleStringFunction
{
public:
    TLogicalStringOper(const QString& sOperName, TStringFunc aStringFunc, TExprWord* aLeftArg,
                       TExprWord* aRightArg);

    TVarType VarType() const override { return vtBoolean; }

    // The comparison of an operator name; null when the name is not a string operator.
    static TStringFunc ComparisonOf(const QString& sOperName);
};
