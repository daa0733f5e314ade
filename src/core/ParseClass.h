#pragma once

#include "MsgExceptions.h"
#include "OObjects.h"

#include <QChar>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

// A text that does not compile: brackets, operands, unknown functions, string operands.
class EParserException : public EError
{
public:
    using EError::EError;
};

// An arithmetic error while evaluating: division by zero, invalid operation, overflow.
class EMathError : public EError
{
public:
    using EError::EError;
};

// A compiled expression: its records in the order they are computed, linked by Next. The
// records point into each other and into the evaluator's words, so the list can be moved but
// not copied, and it must not outlive the evaluator that compiled it.
struct TEvaluationList
{
    TEvaluationList() = default;
    TEvaluationList(TEvaluationList&&) = default;
    TEvaluationList& operator=(TEvaluationList&&) = default;
    TEvaluationList(const TEvaluationList&) = delete;
    TEvaluationList& operator=(const TEvaluationList&) = delete;

    std::vector<TExpressionRec> Recs;
    TVarType ResultType = vtDouble;
    // A lone constant or variable: its value is read without running the list.
    const double* pDirect = nullptr;

    TExpressionRec* First() { return Recs.data(); }
    const TExpressionRec* First() const { return Recs.data(); }
    TExpressionRec* Last() { return &Recs.back(); }
};

class TExprCompiler;

// Compiles expression texts into evaluation lists and computes them. The words list holds every
// word a text can name; a derived evaluator fills it with its operators and functions.
class TCustomExpressionParser
{
public:
    virtual ~TCustomExpressionParser();
    TCustomExpressionParser(const TCustomExpressionParser&) = delete;
    TCustomExpressionParser& operator=(const TCustomExpressionParser&) = delete;

    QChar HexChar() const { return FHexChar; }
    QChar DecimSeparator() const { return FDecimSeparator; }
    QChar ArgSeparator() const { return FArgSeparator; }

    // Constant folding; on by default.
    bool Optimize() const { return FOptimize; }
    void SetOptimize(bool bOptimize) { FOptimize = bOptimize; }

    // Makes a number or string of the caller known by name; the evaluator reads it at every
    // evaluation and ":=", "++" and "--" write numbers back. The storage must outlive the evaluator.
    void DefineVariable(const QString& sName, double* pValue);
    void DefineStringVariable(const QString& sName, const QString* pValue);

    // The word of that name, compared without regard to case; null if there is none.
    TExprWord* FindWord(QStringView sName) const;
    const std::vector<std::unique_ptr<TExprWord>>& Words() const { return WordsList; }

    // The form in which a text is compiled and compared: letters A-Z lowered, blanks trimmed.
    static QString PrepareText(const QString& sText);

protected:
    TCustomExpressionParser();

    // Takes a word into the words list, kept sorted by name; a name may be there only once.
    TExprWord* AddWord(std::unique_ptr<TExprWord> aWord);

    // Compiles a text given in the prepared form; raises EParserException, EConvertError or,
    // for a folded part that cannot be computed, EMathError.
    TEvaluationList Compile(const QString& sText);

    // Computes a list and gives its result.
    static double Evaluate(TEvaluationList& aList)
    {
        if (aList.pDirect)
            return *aList.pDirect;
        for (TExpressionRec* pRec = aList.First(); pRec; pRec = pRec->Next)
            pRec->Oper(*pRec);
        return aList.Last()->Res;
    }

    // The words the preparing step turns signs, "not" runs and "^" into; a derived evaluator sets them.
    TExprWord* FPlus = nullptr;
    TExprWord* FMinus = nullptr;
    TExprWord* FPower = nullptr;
    TExprWord* FNot = nullptr;
    TExprWord* FUnaryMinus = nullptr;
    TExprWord* FUnaryPlus = nullptr;
    TExprWord* FIntPower = nullptr;

    // The list built last and the list in use.
    TExpressionRec* LastRec = nullptr;
    TExpressionRec* CurrentRec = nullptr;

private:
    friend class TExprCompiler;

    TExprWord* AddOwnedConstant(std::unique_ptr<TExprWord> aWord);

    QChar FHexChar;
    QChar FDecimSeparator;
    QChar FArgSeparator;
    bool FOptimize = true;
    std::vector<std::unique_ptr<TExprWord>> ConstantsList;
    std::vector<std::unique_ptr<TExprWord>> WordsList;
    TExprWord* FLeftBracket = nullptr;
    TExprWord* FRightBracket = nullptr;
    TExprWord* FComma = nullptr;
};
