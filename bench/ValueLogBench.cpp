// Value-log costs: a Write must not grow with the file, which is appended to over many runs.
#include "core/ValueLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QStringList cColumns{QStringLiteral("U1"), QStringLiteral("U2"), QStringLiteral("Serial")};

// A log file with its header on the first line and iLines data lines after it (so the last
// header is as far from the end as it can be), or with the header right before the end. Without
// lines the file is empty.
QString MakeLog(const QTemporaryDir& dir, int iLines, bool bHeaderAtEnd)
{
    const QByteArray aHeader = "Start;Duration;U1;U2;Serial;Result;Operator\r\n";
    QByteArray aContent;
    aContent.reserve(qsizetype(iLines) * 60 + 100);
    if (!bHeaderAtEnd && iLines > 0)
        aContent += aHeader;
    for (int i = 0; i < iLines; ++i)
        aContent +=
            "2025-02-03 10:15:07;00:01:12;4.98;12.05;SN" + QByteArray::number(100000 + i) + ";Passed;op1\r\n";
    if (bHeaderAtEnd && iLines > 0)
        aContent += aHeader;
    const QString sPath = dir.filePath(QStringLiteral("log.csv"));
    QFile file(sPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(aContent) != aContent.size())
        qFatal("cannot write the log file");
    return sPath;
}

// One run's line written into a log of state.range(0) lines (header on the first line).
void BM_ValueLogWrite(benchmark::State& state)
{
    const QTemporaryDir dir;
    const QString sPath = MakeLog(dir, int(state.range(0)), false);
    TValueLog log;
    log.Init(sPath, QString());
    for (const QString& sColumn : cColumns)
        log.Append(sColumn);
    int i = 0;
    for (auto _ : state) {
        log.SetStart();
        log.SetValue(QStringLiteral("U1"), QStringLiteral("4.98"));
        log.SetValue(QStringLiteral("U2"), QStringLiteral("12.05"));
        log.SetValue(QStringLiteral("Serial"), QStringLiteral("SN%1").arg(++i));
        log.Write(true, QStringLiteral("op1"));
    }
}
BENCHMARK(BM_ValueLogWrite)->Arg(0)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Loading a definition: Init looks for the file's last header once, reading backwards.
void BM_ValueLogInit(benchmark::State& state)
{
    const QTemporaryDir dir;
    const QString sPath = MakeLog(dir, int(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        TValueLog log;
        log.Init(sPath, QString());
        benchmark::DoNotOptimize(log.LastFileHeader());
    }
    state.SetLabel(state.range(1) != 0 ? "header at the end" : "header at the top");
}
BENCHMARK(BM_ValueLogInit)->Args({0, 0})->Args({100000, 1})->Args({100000, 0})->Unit(benchmark::kMicrosecond);

} // namespace
