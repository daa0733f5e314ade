// Feeds arbitrary bytes to the language server as the editor's stream: cut into messages by the
// framing (the first byte chooses where the stream is split into two reads) and handled one by
// one, then loaded. The server has an open definition in a folder of its own, so that positions
// and includes lead somewhere. Aborts when a request with an id is not answered exactly once.

#include "FuzzSupport.h"

#include "devices/DeviceFamilies.h"
#include "execution/DeviceTypes.h"
#include "lsp/LspFraming.h"
#include "lsp/LspServer.h"
#include "lsp/ReferenceIndex.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <memory>
#include <vector>

namespace {

std::vector<QJsonObject> gSent;

TDeviceTypes& Types()
{
    static TDeviceTypes types;
    return types;
}

TLspServer& Server()
{
    static const std::unique_ptr<TLspServer> server = [] {
        auto created =
            std::make_unique<TLspServer>(TReferenceIndex::BuiltIn(), Types(),
                                         [](const QJsonObject& aMessage) { gSent.push_back(aMessage); });
        const QString sDir = FuzzTempDir("lsp_message");
        QFile include(sDir + QStringLiteral("/a.inc"));
        if (include.open(QIODevice::WriteOnly))
            include.write("Device.Create(SystemControl; Sys)\n#define N 3\n");
        const QString sMain = sDir + QStringLiteral("/a.TZD");
        const QString sText = QStringLiteral("#include \"a.inc\"\nSet(Integer; Count)\nTest.Case(\"T\")\n{\n"
                                             "    Sys.Goto(\"J\"; \"T\"; %Count < N)\n    Sys.\n}\n");
        QFile main(sMain);
        if (main.open(QIODevice::WriteOnly))
            main.write(sText.toUtf8());
        created->Handle(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})");
        created->Handle(
            QJsonDocument(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                                      {QStringLiteral("method"), QStringLiteral("textDocument/didOpen")},
                                      {QStringLiteral("params"),
                                       QJsonObject{{QStringLiteral("textDocument"),
                                                    QJsonObject{{QStringLiteral("uri"),
                                                                 QUrl::fromLocalFile(sMain).toString()},
                                                                {QStringLiteral("text"), sText}}}}}})
                .toJson());
        return created;
    }();
    return *server;
}

void HandleChecked(const QByteArray& aBody)
{
    gSent.clear();
    Server().Handle(aBody);
    const QJsonDocument document = QJsonDocument::fromJson(aBody);
    const QJsonObject message = document.object();
    const QJsonValue id = message.value(QLatin1String("id"));
    if (!message.value(QLatin1String("method")).isString() || !(id.isDouble() || id.isString()) ||
        message.value(QLatin1String("method")).toString() == QLatin1String("exit"))
        return;
    int iAnswers = 0;
    for (const QJsonObject& sent : gSent) {
        if (sent.value(QLatin1String("id")) == id)
            ++iAnswers;
    }
    FuzzCheck(iAnswers == 1, "a request is answered exactly once");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* piArgc, char*** pppArgv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(*piArgc, *pppArgv);
    RegisterDeviceFamilies(Types());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QByteArray aInput(reinterpret_cast<const char*>(pData), qsizetype(nSize));
    // The input as one message body, and as a stream of framed messages.
    HandleChecked(aInput);
    TLspFraming framing;
    const qsizetype iSplit = nSize > 0 ? qsizetype(pData[0]) % (qsizetype(nSize) + 1) : 0;
    for (const QByteArray& aRead : {aInput.left(iSplit), aInput.mid(iSplit)}) {
        framing.Append(aRead);
        QByteArray aBody;
        QString sError;
        for (TLspFraming::EResult eResult = framing.Next(aBody, sError); eResult != TLspFraming::frNone;
             eResult = framing.Next(aBody, sError)) {
            if (eResult == TLspFraming::frMessage)
                HandleChecked(aBody);
        }
    }
    Server().Diagnose();
    return 0;
}
