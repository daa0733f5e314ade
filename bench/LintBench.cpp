// The definition check on a generated definition held in memory: declarations, jumps with
// conditions over variables and functions, preprocessor conditions over defines. Only the check
// itself is timed; its work must grow with the number of lines and no faster.

#include "devices/DeviceFamilies.h"
#include "execution/DeviceTypes.h"
#include "language/DefFileInterpreterBase.h"
#include "language/DefFileLint.h"
#include "language/DefFilePreprocessor.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int ciVariables = 1000;
constexpr int ciDefines = 100;
constexpr int ciLinesPerCase = 100;

QStringList Generate(int iLines)
{
    QStringList lines{QStringLiteral("Device.Create(SystemControl; Sys)")};
    for (int v = 0; v < ciVariables; ++v)
        lines.append(QStringLiteral("Set(Float; Value%1)").arg(v));
    for (int d = 0; d < ciDefines; ++d)
        lines.append(QStringLiteral("#define LIMIT_%1 %2 * VARIANT_BASE").arg(d).arg(d + 1));
    lines.append(QStringLiteral("#define VARIANT_BASE 10"));
    for (int c = 0; c < iLines / ciLinesPerCase; ++c) {
        lines.append(QStringLiteral("Test.Case(\"Case %1\")").arg(c));
        lines.append(QStringLiteral("{"));
        lines.append(QStringLiteral("#if LIMIT_%1 > 5 and LIMIT_%2 < 1000")
                         .arg(c % ciDefines)
                         .arg((c + 1) % ciDefines));
        for (int l = 0; l < ciLinesPerCase; ++l)
            lines.append(
                QStringLiteral(
                    "  Sys.Goto(\"Step %1\"; \"Case %2\"; %Value%3 > sqrt(%Value%4) and %Value%3 < 5)")
                    .arg(l)
                    .arg(c)
                    .arg((c + l) % ciVariables)
                    .arg((c * 7 + l) % ciVariables));
        lines.append(QStringLiteral("#endif"));
        lines.append(QStringLiteral("}"));
    }
    return lines;
}

void BM_CheckDefinition(benchmark::State& state)
{
    const int iLines = int(state.range(0));
    const QStringList lines = Generate(iLines);
    // The check reads what it knows of each function's fields from the device types.
    TDeviceTypes types;
    RegisterDeviceFamilies(types);
    for (auto _ : state) {
        state.PauseTiming();
        TInterpreterReader reader;
        reader.LoadFromList(QStringLiteral("/bench/main.TZD"), lines);
        TDefFileLint lint(reader, types);
        TDefFilePreprocessor(reader).Run();
        state.ResumeTiming();
        lint.Check(reader);
        if (!lint.Warnings().empty()) {
            state.SkipWithError(lint.Warnings().front().sText.toUtf8().constData());
            return;
        }
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(double(iLines) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckDefinition)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
