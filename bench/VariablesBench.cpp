// Reference replacement cost: InsertValues runs on nearly every text a command uses.
#include "core/MsgClasses.h"
#include "core/MsgUtils.h"
#include "core/VariableManager.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// iCount variables of all three types; the text has 200 characters with references to an early,
// a middle and the last declared variable and a percent sign that starts no reference.
struct TFixture
{
    explicit TFixture(int iCount)
    {
        for (int i = 0; i < iCount; ++i) {
            const QString sName = QStringLiteral("Var%1").arg(i, 4, 10, QLatin1Char('0'));
            switch (i % 3) {
            case 0:
                vars.SetValue(sName, std::int64_t(i));
                break;
            case 1:
                vars.SetValue(sName, i / 7.0);
                break;
            default:
                vars.SetValue(sName, QStringLiteral("text %1").arg(i));
            }
            names.push_back(sName);
        }
        const QString sLast = QStringLiteral("%Var%1").arg(iCount - 1, 4, 10, QLatin1Char('0'));
        const QString sMiddle = QStringLiteral("%Var%1").arg(iCount / 2, 4, 10, QLatin1Char('0'));
        sText = QStringLiteral("Port1 sends the frame with serial number %Var0001 and the measured supply ") +
                sMiddle + QStringLiteral(" V at 100% load; expected answer: OK;") + sLast +
                QStringLiteral("; the checksum follows after the second field of the frame.");
        sText = sText.leftJustified(200, QLatin1Char('.'));
    }

    TVariableManager vars;
    std::vector<QString> names;
    QString sText;
};

void BM_InsertValues(benchmark::State& state)
{
    const TFixture fixture(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.vars.InsertValues(fixture.sText));
    state.SetLabel(QStringLiteral("%1 chars").arg(fixture.sText.size()).toStdString());
}
BENCHMARK(BM_InsertValues)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The same text without any "%": the common case of a text with no references.
void BM_InsertValuesNoReference(benchmark::State& state)
{
    TFixture fixture(int(state.range(0)));
    const QString sText = QString(fixture.sText).remove(QLatin1Char('%'));
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.vars.InsertValues(sText));
}
BENCHMARK(BM_InsertValuesNoReference)->Arg(1000)->Unit(benchmark::kMicrosecond);

// For comparison: every variable's key searched in turn, as the replacement rule reads, with the
// same value texts and trace line.
void BM_InsertValuesStraightforward(benchmark::State& state)
{
    const TFixture fixture(int(state.range(0)));
    for (auto _ : state) {
        QString sText = fixture.sText;
        QString sTrace;
        for (const QString& sName : fixture.names) {
            const QString sKey = QLatin1Char('%') + sName;
            if (sText.contains(sKey)) {
                const QString sValue = fixture.vars.GetAsStr(sName);
                sText.replace(sKey, sValue);
                sTrace += Format(QStringLiteral("%s=\"%s\"; "), {sKey, sValue});
            }
        }
        if (!sTrace.isEmpty())
            TMsg::Trace(QStringLiteral("Replaced variables: ") + sTrace);
        benchmark::DoNotOptimize(sText);
    }
}
BENCHMARK(BM_InsertValuesStraightforward)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace
