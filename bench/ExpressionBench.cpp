// Expression evaluator against muParser: conditions and calculations are compiled for every
// jump, Calculate and conditional line, so both compiling and evaluating count.
#include "core/ParseExpr.h"

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <string>

namespace {

struct TTerm
{
    const char* sName;
    const char* sTzk;      // as a definition writes it, variables already replaced by their values
    const char* sMuParser; // the same in muParser's syntax; null where muParser cannot express it
    bool bBoolean;
};

const TTerm cTerms[] = {
    {"limit", "5.02 >= 4.9 and 5.02 <= 5.1", "5.02 >= 4.9 && 5.02 <= 5.1", true},
    {"calc", "sqrt(3.5^2 + 4.2^2) * sin(pi / 6) + max(1.5, 2.5)",
     "sqrt(3.5^2 + 4.2^2) * sin(_pi / 6) + max(1.5, 2.5)", false},
    {"string", "'Passed' = 'passed' and 'b' in 'a,b,c'", nullptr, true},
};

// The same shapes with variables, so that evaluation has work left after constant folding.
const TTerm cVarTerms[] = {
    {"limit_var", "x >= 4.9 and x <= 5.1", "x >= 4.9 && x <= 5.1", true},
    {"calc_var", "sqrt(x^2 + y^2) * sin(x / 6) + max(x, y)", "sqrt(x^2 + y^2) * sin(x / 6) + max(x, y)",
     false},
};

double TzkResult(TExpressionParser& parser, int iIndex, bool bBoolean)
{
    return bBoolean ? double(parser.GetAsBoolean(iIndex)) : parser.GetResults(iIndex);
}

// As the callers do it: a new evaluator per evaluation.
void TzkCompileEval(benchmark::State& state, const TTerm* pTerm)
{
    const QString sTerm = QString::fromUtf8(pTerm->sTzk);
    double x = 5.02;
    double y = 2.5;
    for (auto _ : state) {
        TExpressionParser parser;
        parser.DefineVariable(QStringLiteral("x"), &x);
        parser.DefineVariable(QStringLiteral("y"), &y);
        benchmark::DoNotOptimize(TzkResult(parser, parser.AddExpression(sTerm), pTerm->bBoolean));
    }
}

void MuCompileEval(benchmark::State& state, const TTerm* pTerm)
{
    const std::string sTerm = pTerm->sMuParser;
    double x = 5.02;
    double y = 2.5;
    for (auto _ : state) {
        mu::Parser parser;
        parser.DefineVar("x", &x);
        parser.DefineVar("y", &y);
        parser.SetExpr(sTerm);
        benchmark::DoNotOptimize(parser.Eval());
    }
}

void TzkEval(benchmark::State& state, const TTerm* pTerm)
{
    double x = 5.02;
    double y = 2.5;
    TExpressionParser parser;
    parser.DefineVariable(QStringLiteral("x"), &x);
    parser.DefineVariable(QStringLiteral("y"), &y);
    const int iIndex = parser.AddExpression(QString::fromUtf8(pTerm->sTzk));
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(TzkResult(parser, iIndex, pTerm->bBoolean));
    }
}

void MuEval(benchmark::State& state, const TTerm* pTerm)
{
    double x = 5.02;
    double y = 2.5;
    mu::Parser parser;
    parser.DefineVar("x", &x);
    parser.DefineVar("y", &y);
    parser.SetExpr(pTerm->sMuParser);
    parser.Eval(); // the first evaluation compiles
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(parser.Eval());
    }
}

// Creating the evaluator alone: the part of compile-and-evaluate that no term changes.
void TzkCreate(benchmark::State& state)
{
    for (auto _ : state) {
        TExpressionParser parser;
        benchmark::DoNotOptimize(&parser);
    }
}

void MuCreate(benchmark::State& state)
{
    for (auto _ : state) {
        mu::Parser parser;
        benchmark::DoNotOptimize(&parser);
    }
}

void Register(const TTerm& term)
{
    const std::string sName = term.sName;
    benchmark::RegisterBenchmark(("BM_ExprCompileEval/" + sName + "/tzk").c_str(), TzkCompileEval, &term);
    if (term.sMuParser)
        benchmark::RegisterBenchmark(("BM_ExprCompileEval/" + sName + "/muparser").c_str(), MuCompileEval,
                                     &term);
    benchmark::RegisterBenchmark(("BM_ExprEval/" + sName + "/tzk").c_str(), TzkEval, &term);
    if (term.sMuParser)
        benchmark::RegisterBenchmark(("BM_ExprEval/" + sName + "/muparser").c_str(), MuEval, &term);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("BM_ExprCreate/tzk", TzkCreate);
    benchmark::RegisterBenchmark("BM_ExprCreate/muparser", MuCreate);
    for (const TTerm& term : cTerms)
        Register(term);
    for (const TTerm& term : cVarTerms)
        Register(term);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
