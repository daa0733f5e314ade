// Load throughput: a generated definition through reader, preprocessor and keyword pass.
// 100 function lines per test case, spread over 20 include files, with 100 defines in use.
// Hostile definitions: inputs that are refused or loaded, but must neither crash nor stall.

#include "BenchLoadHost.h"

#include "core/MsgClasses.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "devices/DeviceFamilies.h"
#include "execution/DeviceList.h"
#include "execution/TestTree.h"
#include "language/DefFileInterpreter.h"
#include "language/Session.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int ciIncludes = 20;
constexpr int ciDefines = 100;
constexpr int ciLinesPerCase = 100;

// Writes the definition with iLines function lines and returns the main file's path.
QString Generate(const QTemporaryDir& aDir, int iLines)
{
    const int iCases = iLines / ciLinesPerCase;
    QByteArray aMain =
        "// generated\r\nSet(FileInfo; \"Load\"; \"1\")\r\nDevice.Create(SystemControl; Sys)\r\n";
    for (int d = 0; d < ciDefines; ++d)
        aMain += "#define DELAY_" + QByteArray::number(d) + "_MS " + QByteArray::number(d + 1) + "\r\n";
    for (int f = 0; f < ciIncludes; ++f) {
        QByteArray aInclude;
        for (int c = f; c < iCases; c += ciIncludes) {
            aInclude += "Test.Case(\"Case " + QByteArray::number(c) + "\")\r\n{\r\n";
            for (int l = 0; l < ciLinesPerCase; ++l)
                aInclude += "  Sys.Delay(\"Step " + QByteArray::number(l) + "\"; DELAY_" +
                            QByteArray::number((c + l) % ciDefines) + "_MS) // settle\r\n";
            aInclude += "}\r\n";
        }
        const QString sName = QStringLiteral("part%1.inc").arg(f);
        QFile file(aDir.filePath(sName));
        if (!file.open(QIODevice::WriteOnly) || file.write(aInclude) != aInclude.size())
            return QString();
        aMain += "#include \"" + sName.toUtf8() + "\"\r\n";
    }
    QFile main(aDir.filePath(QStringLiteral("main.TZD")));
    if (!main.open(QIODevice::WriteOnly) || main.write(aMain) != aMain.size())
        return QString();
    return main.fileName();
}

void BM_LoadDefinition(benchmark::State& state)
{
    const int iLines = int(state.range(0));
    QTemporaryDir dir;
    const QString sMain = Generate(dir, iLines);
    if (sMain.isEmpty()) {
        state.SkipWithError("cannot write the definition");
        return;
    }
    TDeviceTypes types;
    RegisterDeviceFamilies(types);
    TBenchLoadHost host;
    TSession session(&types);
    for (auto _ : state) {
        const TLoadReport report = session.Load(sMain, host);
        if (report.eOutcome != ELoadOutcome::Loaded) {
            state.SkipWithError((report.sFailure + report.sLoadInfos).left(200).toUtf8().constData());
            return;
        }
        state.PauseTiming();
        session.ReleaseDefinition();
        state.ResumeTiming();
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(double(iLines) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadDefinition)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

bool WriteFile(const QTemporaryDir& aDir, const QString& sName, const QByteArray& aContent)
{
    QFile file(aDir.filePath(sName));
    return file.open(QIODevice::WriteOnly) && file.write(aContent) == aContent.size();
}

QByteArray Lines(const QByteArray& aLine, int iCount)
{
    return (aLine + "\r\n").repeated(iCount);
}

struct THostileCase
{
    const char* sName;
    // The definition's files; the first is the main file.
    std::vector<std::pair<QString, QByteArray>> files;
};

THostileCase HostileCase(int iCase)
{
    const auto Main = [](const QByteArray& aText) {
        return std::make_pair(QStringLiteral("main.TZD"), aText);
    };
    switch (iCase) {
    case 0:
        return {"elif_chain_50k", {Main("#if false\r\n" + Lines("#elif false", 50000) + "#endif\r\n")}};
    case 1:
        return {"elifdef_chain_50k", {Main("#ifdef X\r\n" + Lines("#elifdef X", 50000) + "#endif\r\n")}};
    case 2:
        return {"elif_after_true_100k", {Main("#if true\r\n" + Lines("#elif x", 100000) + "#endif\r\n")}};
    case 3:
    case 4:
        return {iCase == 3 ? "define_expansion_1000" : "define_expansion_3000",
                {Main("#define A " + QByteArray(1000, 'x') + "\r\n#define B " + QByteArray(1000, 'A') +
                      "\r\n" + Lines("B", iCase == 3 ? 1000 : 3000))}};
    case 5:
        return {"nested_cases_20k", {Main(Lines("Test.Case(x)", 20000))}};
    case 6: {
        QByteArray aText;
        for (int i = 0; i < 40000; ++i)
            aText += "#define d" + QByteArray::number(i) + " 1\r\n";
        return {"defines_40k", {Main(aText)}};
    }
    case 7: {
        QByteArray aText;
        for (int i = 0; i < 2000; ++i)
            aText += "#define a" + QByteArray::number(i) + " " + QByteArray::number(i) + "\r\n";
        return {"a_defines_2000_a_lines_100", {Main(aText + Lines(QByteArray(10000, 'a'), 100))}};
    }
    case 9:
        return {"one_line_500k_replacements", {Main("#define ab c\r\n" + QByteArray("ab").repeated(500000))}};
    case 10:
        return {"value_reforming_its_name", {Main("#define ab bbbxaa\r\nabb\r\n")}};
    default:
        return {"include_fan_out_2000x2000",
                {Main(Lines("#include \"mid.inc\"", 2000)),
                 {QStringLiteral("mid.inc"), Lines("#include \"empty.inc\"", 2000)},
                 {QStringLiteral("empty.inc"), QByteArray()}}};
    }
}

// Each case once per iteration; refused is 1 when the load stopped with an error. The peak is the
// process's: run one case per process (--benchmark_filter) for its own figure.
void BM_HostileLoad(benchmark::State& state)
{
    const THostileCase hostile = HostileCase(int(state.range(0)));
    state.SetLabel(hostile.sName);
    QTemporaryDir dir;
    for (const auto& file : hostile.files) {
        if (!WriteFile(dir, file.first, file.second)) {
            state.SkipWithError("cannot write the definition");
            return;
        }
    }
    TBenchLoadHost host;
    bool bRefused = false;
    for (auto _ : state) {
        TTestTree tree;
        {
            TDeviceContext context;
            TInterpreter interpreter(host, context);
            try {
                interpreter.FileLoad(dir.filePath(hostile.files.front().first));
                bRefused = interpreter.LoadDefinition(tree) != irSuccess;
            } catch (const std::exception&) {
                bRefused = true;
            }
        }
        state.PauseTiming();
        tree.Clear();
        TVariableManager::InstanceRelease();
        state.ResumeTiming();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["refused"] = bRefused ? 1 : 0;
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_HostileLoad)->DenseRange(0, 10)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
