// The language server's answer to an edit: a 10,000-line definition (one file, 100 test cases of
// 100 lines, a few defines and variables), changed by one character, until its diagnostics are
// published; and completion after "Sys." in the same definition.

#include "devices/DeviceFamilies.h"
#include "execution/DeviceTypes.h"
#include "lsp/LspServer.h"
#include "lsp/ReferenceIndex.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

namespace {

constexpr int ciCases = 100;
constexpr int ciLinesPerCase = 100;

QString Definition(int iEdit)
{
    QString s = QStringLiteral("// generated\nSet(FileInfo; \"Edit\"; \"1\")\nSet(Integer; Count)\n"
                               "Device.Create(SystemControl; Sys)\n#define SETTLE %1\n")
                    .arg(iEdit % 10 + 1);
    for (int c = 0; c < ciCases; ++c) {
        s += QStringLiteral("Test.Case(\"Case %1\")\n{\n").arg(c);
        for (int l = 0; l < ciLinesPerCase - 3; ++l)
            s += QStringLiteral("    Sys.Delay(\"Step %1\"; SETTLE) // settle\n").arg(l);
        s += QStringLiteral("    Sys.Goto(\"Next\"; \"Case %1\"; %Count > 3)\n}\n").arg((c + 1) % ciCases);
    }
    return s;
}

QJsonObject Message(const QString& sMethod, const QJsonObject& aParams, int iId = -1)
{
    QJsonObject message{{"jsonrpc", "2.0"}, {"method", sMethod}, {"params", aParams}};
    if (iId >= 0)
        message.insert("id", iId);
    return message;
}

const TDeviceTypes& StationTypes()
{
    static TDeviceTypes types;
    if (types.Names().isEmpty())
        RegisterDeviceFamilies(types);
    return types;
}

void BM_LspEditToDiagnostics(benchmark::State& state)
{
    static const TDeviceTypes& types = StationTypes();
    QTemporaryDir dir;
    const QString sFile = dir.filePath(QStringLiteral("board.TZD"));
    QFile file(sFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(Definition(0).toUtf8()) <= 0) {
        state.SkipWithError("cannot write the definition");
        return;
    }
    file.close();
    const QString sUri = QUrl::fromLocalFile(sFile).toString();
    int iPublished = 0;
    int iDiagnostics = 0;
    TLspServer server(TReferenceIndex::BuiltIn(), types, [&](const QJsonObject& aMessage) {
        if (aMessage.value("method") == QLatin1String("textDocument/publishDiagnostics")) {
            ++iPublished;
            iDiagnostics = int(aMessage.value("params").toObject().value("diagnostics").toArray().size());
        }
    });
    server.Handle(QJsonDocument(Message("initialize", {}, 1)).toJson());
    server.Handle(
        QJsonDocument(Message("textDocument/didOpen",
                              {{"textDocument", QJsonObject{{"uri", sUri}, {"text", Definition(0)}}}}))
            .toJson());
    server.Diagnose();
    int iEdit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray aChange =
            QJsonDocument(
                Message("textDocument/didChange",
                        {{"textDocument", QJsonObject{{"uri", sUri}}},
                         {"contentChanges", QJsonArray{QJsonObject{{"text", Definition(++iEdit)}}}}}))
                .toJson();
        state.ResumeTiming();
        server.Handle(aChange);
        server.Diagnose();
    }
    if (iPublished != int(state.iterations()) + 1 || iDiagnostics != 0)
        state.SkipWithError("an edit published no diagnostics, or the definition has errors");
    state.counters["lines"] = double(ciCases * ciLinesPerCase);
}
BENCHMARK(BM_LspEditToDiagnostics)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LspCompletion(benchmark::State& state)
{
    static const TDeviceTypes& types = StationTypes();
    QTemporaryDir dir;
    const QString sUri = QUrl::fromLocalFile(dir.filePath(QStringLiteral("board.TZD"))).toString();
    QString sText = Definition(0);
    sText.replace(QStringLiteral("    Sys.Delay(\"Step 50\"; SETTLE) // settle\n"),
                  QStringLiteral("    Sys.\n"));
    const int iLine = int(sText.left(sText.indexOf(QStringLiteral("    Sys.\n"))).count(QLatin1Char('\n')));
    int iItems = 0;
    TLspServer server(TReferenceIndex::BuiltIn(), types, [&](const QJsonObject& aMessage) {
        iItems = int(aMessage.value("result").toObject().value("items").toArray().size());
    });
    server.Handle(QJsonDocument(Message("initialize", {}, 1)).toJson());
    server.Handle(QJsonDocument(Message("textDocument/didOpen",
                                        {{"textDocument", QJsonObject{{"uri", sUri}, {"text", sText}}}}))
                      .toJson());
    const QByteArray aRequest =
        QJsonDocument(Message("textDocument/completion",
                              {{"textDocument", QJsonObject{{"uri", sUri}}},
                               {"position", QJsonObject{{"line", iLine}, {"character", 8}}}},
                              2))
            .toJson();
    for (auto _ : state)
        server.Handle(aRequest);
    if (iItems == 0)
        state.SkipWithError("no completion");
}
BENCHMARK(BM_LspCompletion)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace
