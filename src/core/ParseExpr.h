#pragma once

#include "ParseClass.h"

#include <QString>

#include <cstddef>
#include <limits>
#include <vector>

// The evaluator of conditions and calculations: compiles expression texts once and computes
// them as numbers or Booleans. Callers create one per evaluation and free it afterwards:
//   TExpressionParser parser;
//   const int i = parser.AddExpression(sTerm);
//   const bool bOk = parser.GetAsBoolean(i);
class TExpressionParser : public TCustomExpressionParser
{
public:
    TExpressionParser();
    ~TExpressionParser() override;

    // Compiles a text, or finds it among the texts added before (without regard to case), makes
    // its list current and returns its index; -1 for an empty text. Compilation errors raise.
    int AddExpression(const QString& AnExpression);

    // The value of the expression of that index; not-a-number for a negative index.
    double GetResults(int AIndex)
    {
        if (AIndex < 0)
            return std::numeric_limits<double>::quiet_NaN();
        return Evaluate(ListAt(AIndex));
    }

    // Evaluates and gives the value as a Boolean: false exactly when -0.1 < value < 0.1. Raises
    // when the expression's result type is not Boolean.
    bool GetAsBoolean(int AIndex)
    {
        // One unsigned comparison also catches the negative index of an empty text.
        if (static_cast<std::size_t>(AIndex) >= Expressions.size())
            RaiseNoBooleanAt(AIndex);
        TEvaluationList& list = Expressions[static_cast<std::size_t>(AIndex)].List;
        const double rValue = Evaluate(list);
        if (list.ResultType != vtBoolean)
            RaiseNotBoolean();
        return !(rValue > -0.1 && rValue < 0.1);
    }

    int Count() const { return static_cast<int>(Expressions.size()); }
    int CurrentIndex() const { return FCurrentIndex; }
    const QString& ExpressionText(int AIndex) const { return At(AIndex).sText; }
    // The first record of the expression's evaluation list; the others follow through Next.
    const TExpressionRec* EvaluationList(int AIndex) const { return At(AIndex).List.First(); }
    TVarType ResultType(int AIndex) const { return At(AIndex).List.ResultType; }

private:
    struct TExpression
    {
        QString sText;
        TEvaluationList List;
    };

    const TExpression& At(int AIndex) const;
    TEvaluationList& ListAt(int AIndex)
    {
        if (static_cast<std::size_t>(AIndex) >= Expressions.size())
            RaiseIndex(AIndex);
        return Expressions[static_cast<std::size_t>(AIndex)].List;
    }
    [[noreturn]] static void RaiseIndex(int AIndex);
    [[noreturn]] static void RaiseNotBoolean();
    [[noreturn]] static void RaiseNoBooleanAt(int AIndex);
    void MakeCurrent(int AIndex);

    std::vector<TExpression> Expressions;
    int FCurrentIndex = -1;
};
