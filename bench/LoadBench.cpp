// Load throughput: a generated definition through reader, preprocessor and keyword pass.
// 100 function lines per test case, spread over 20 include files, with 100 defines in use.

#include "core/MsgClasses.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "devices/DeviceFamilies.h"
#include "execution/DeviceList.h"
#include "execution/TestTree.h"
#include "language/DefFileInterpreter.h"
#include "language/InterpreterHost.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class TBenchHost : public IInterpreterHost
{
public:
    bool SkipErrors() const override { return false; }
    void SetFileInfo(const QString&, const QString&) override {}
    bool AssignKey(int, const QString&) override { return true; }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return nullptr; }
};

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
    RegisterDeviceFamilies();
    TBenchHost host;
    for (auto _ : state) {
        TTestTree tree;
        {
            TInterpreter interpreter(host);
            interpreter.FileLoad(sMain);
            if (interpreter.LoadDefinition(tree) != irSuccess) {
                state.SkipWithError(interpreter.LastErrors().left(200).toUtf8().constData());
                return;
            }
        }
        state.PauseTiming();
        tree.Clear();
        TDeviceList::InstanceRelease();
        TVariableManager::InstanceRelease();
        TValueLog::InstanceRelease();
        state.ResumeTiming();
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(double(iLines) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadDefinition)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
