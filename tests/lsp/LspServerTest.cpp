#include "TestEnvironment.h"

#include "devices/DeviceFamilies.h"
#include "execution/Device.h"
#include "execution/DeviceContext.h"
#include "execution/DeviceList.h"
#include "lsp/LspFraming.h"
#include "lsp/LspServer.h"
#include "lsp/ReferenceIndex.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

// A server and what it sent, driven as an editor drives it.
class TConversation
{
public:
    TConversation()
        : fServer(TReferenceIndex::BuiltIn(), Types(),
                  [this](const QJsonObject& aMessage) { fSent.push_back(aMessage); })
    {}

    // The program's device types, entered once.
    static const TDeviceTypes& Types()
    {
        static const TDeviceTypes& types = *[] {
            static TDeviceTypes all;
            RegisterDeviceFamilies(all);
            return &all;
        }();
        return types;
    }

    void Send(const QByteArray& aBody) { fServer.Handle(aBody); }
    // Sends a request and returns its answer (result or error); fails the test without one.
    QJsonObject Request(const QString& sMethod, const QJsonValue& aParams)
    {
        const int iId = ++fiId;
        Send(QJsonDocument(
                 QJsonObject{{"jsonrpc", "2.0"}, {"id", iId}, {"method", sMethod}, {"params", aParams}})
                 .toJson());
        for (const QJsonObject& message : fSent) {
            if (message.value("id") == QJsonValue(iId))
                return message;
        }
        ADD_FAILURE() << "no answer to " << sMethod.toStdString();
        return QJsonObject();
    }
    void Notify(const QString& sMethod, const QJsonObject& aParams)
    {
        Send(QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"method", sMethod}, {"params", aParams}})
                 .toJson());
    }
    void Open(const QString& sFile, const QString& sText)
    {
        Notify("textDocument/didOpen", QJsonObject{{"textDocument", QJsonObject{{"uri", Uri(sFile)},
                                                                                {"languageId", "tzd"},
                                                                                {"version", 1},
                                                                                {"text", sText}}}});
    }
    void Change(const QString& sFile, const QString& sText)
    {
        Notify("textDocument/didChange",
               QJsonObject{{"textDocument", QJsonObject{{"uri", Uri(sFile)}, {"version", 2}}},
                           {"contentChanges", QJsonArray{QJsonObject{{"text", sText}}}}});
    }
    // The diagnostics last published for sFile after the pending loads ran.
    QJsonArray Diagnostics(const QString& sFile)
    {
        fServer.Diagnose();
        QJsonArray last;
        bool bFound = false;
        for (const QJsonObject& message : fSent) {
            const QJsonObject params = message.value("params").toObject();
            if (message.value("method") == QLatin1String("textDocument/publishDiagnostics") &&
                params.value("uri").toString() == Uri(sFile)) {
                last = params.value("diagnostics").toArray();
                bFound = true;
            }
        }
        EXPECT_TRUE(bFound) << "nothing published for " << sFile.toStdString();
        return last;
    }
    static QJsonObject At(const QString& sFile, int iLine, int iCharacter)
    {
        return QJsonObject{{"textDocument", QJsonObject{{"uri", Uri(sFile)}}},
                           {"position", QJsonObject{{"line", iLine}, {"character", iCharacter}}}};
    }
    static QString Uri(const QString& sFile) { return QUrl::fromLocalFile(sFile).toString(); }

    TLspServer& Server() { return fServer; }
    std::vector<QJsonObject>& Sent() { return fSent; }

private:
    std::vector<QJsonObject> fSent;
    TLspServer fServer;
    int fiId = 0;
};

int ErrorCode(const QJsonObject& aAnswer)
{
    return aAnswer.value("error").toObject().value("code").toInt();
}

QStringList Labels(const QJsonObject& aAnswer)
{
    QStringList slLabels;
    for (const QJsonValue& item : aAnswer.value("result").toObject().value("items").toArray())
        slLabels.append(item.toObject().value("label").toString());
    return slLabels;
}

QString Messages(const QJsonArray& aDiagnostics)
{
    QStringList sl;
    for (const QJsonValue& d : aDiagnostics)
        sl.append(d.toObject().value("message").toString());
    return sl.join('\n');
}

} // namespace

// The session's frame: initialize first, a request before it is refused, shutdown then exit ends
// with status 0, and requests after shutdown are refused.
TEST(LspServerTest, InitializeShutdownExit)
{
    TConversation c;
    EXPECT_EQ(ErrorCode(c.Request("textDocument/hover", TConversation::At("/tmp/a.TZD", 0, 0))), -32002);
    const QJsonObject init = c.Request("initialize", QJsonObject{});
    const QJsonObject capabilities = init.value("result").toObject().value("capabilities").toObject();
    EXPECT_TRUE(capabilities.value("hoverProvider").toBool());
    EXPECT_TRUE(capabilities.value("definitionProvider").toBool());
    EXPECT_EQ(capabilities.value("textDocumentSync").toObject().value("change").toInt(), 1);
    c.Notify("initialized", QJsonObject{});
    EXPECT_TRUE(c.Request("shutdown", QJsonValue()).value("result").isNull());
    EXPECT_EQ(ErrorCode(c.Request("textDocument/hover", TConversation::At("/tmp/a.TZD", 0, 0))), -32600);
    EXPECT_FALSE(c.Server().ExitRequested());
    c.Notify("exit", QJsonObject{});
    EXPECT_TRUE(c.Server().ExitRequested());
    EXPECT_EQ(c.Server().ExitCode(), 0);

    TConversation abrupt;
    abrupt.Notify("exit", QJsonObject{});
    EXPECT_TRUE(abrupt.Server().ExitRequested());
    EXPECT_EQ(abrupt.Server().ExitCode(), 1) << "exit without shutdown";
}

// Bad input gets an error answer, and the server goes on answering.
TEST(LspServerTest, MalformedMessagesGetErrors)
{
    TConversation c;
    c.Request("initialize", QJsonObject{});
    const struct
    {
        const char* sBody;
        int iCode;
        QJsonValue id;
    } cases[] = {
        {"{\"jsonrpc\":\"2.0\",\"id\":", -32700, QJsonValue::Null},
        {"[1,2]", -32600, QJsonValue::Null},
        {"{\"jsonrpc\":\"2.0\",\"id\":7}", -32600, 7},
        {"{\"jsonrpc\":\"2.0\",\"id\":{},\"method\":\"shutdown\"}", -32600, QJsonValue::Null},
        {"{\"jsonrpc\":\"2.0\",\"id\":8,\"method\":\"no/such\"}", -32601, 8},
        {"{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"textDocument/hover\",\"params\":3}", -32602, 9},
        {"{\"jsonrpc\":\"2.0\",\"id\":10,\"method\":\"textDocument/hover\",\"params\":{}}", -32602, 10},
        {"{\"jsonrpc\":\"2.0\",\"id\":11,\"method\":\"textDocument/"
         "hover\",\"params\":{\"textDocument\":{\"uri\":"
         "\"http://x/a.TZD\"},\"position\":{\"line\":0,\"character\":0}}}",
         -32602, 11},
        {"{\"jsonrpc\":\"2.0\",\"id\":12,\"method\":\"textDocument/"
         "completion\",\"params\":{\"textDocument\":{"
         "\"uri\":\"file:///a.TZD\"},\"position\":{\"line\":-1,\"character\":0}}}",
         -32602, 12},
    };
    for (const auto& k : cases) {
        c.Sent().clear();
        c.Send(k.sBody);
        ASSERT_EQ(c.Sent().size(), 1u) << k.sBody;
        EXPECT_EQ(ErrorCode(c.Sent().front()), k.iCode) << k.sBody;
        EXPECT_EQ(c.Sent().front().value("id"), k.id) << k.sBody;
    }
    // Unknown notifications and the editor's answers are not answered.
    c.Sent().clear();
    c.Send("{\"jsonrpc\":\"2.0\",\"method\":\"no/such\"}");
    c.Send("{\"jsonrpc\":\"2.0\",\"id\":3,\"result\":null}");
    c.Send("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didChange\",\"params\":{\"textDocument\":{}}}");
    EXPECT_TRUE(c.Sent().empty());
    EXPECT_TRUE(c.Request("shutdown", QJsonValue()).value("result").isNull());
}

TEST(LspServerTest, FramingCutsMessagesAndDropsBadHeaders)
{
    TLspFraming framing;
    QByteArray aBody;
    QString sError;
    framing.Append("Content-Length: 2\r\n\r\n{}Content-Le");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frMessage);
    EXPECT_EQ(aBody, "{}");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frNone);
    framing.Append("ngth: 4\r\nContent-Type: x\r\n\r\n[1]");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frNone) << "a body still short of its length";
    framing.Append(" X: 1\r\n\r\ncontent-length: 1\r\n\r\n5");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frMessage);
    EXPECT_EQ(aBody, "[1] ");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frError) << "a header without its length";
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frMessage) << "the next message is found again";
    EXPECT_EQ(aBody, "5");
    framing.Append("Content-Length: 99999999999\r\n\r\n");
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frError);
    framing.Append(QByteArray(9000, 'x'));
    EXPECT_EQ(framing.Next(aBody, sError), TLspFraming::frError) << "no header end in sight";
}

// Diagnostics are those of the check, with the included file's own lines; a change of the
// included file is seen by the file that includes it, unsaved.
TEST(LspServerTest, DiagnosticsFollowIncludedFiles)
{
    TTestDir dir;
    const QString sInclude = dir.WriteText("common.inc", "Device.Create(SystemControl; Sys)\n"
                                                         "Set(Integer; Count)\n");
    const QString sMainText = "#include \"common.inc\"\n"
                              "Test.Case(\"One\")\n"
                              "{\n"
                              "    Sys.Delay(\"Wait\"; 10)\n"
                              "    Sys.Goto(\"Jump\"; \"Tow\")\n"
                              "}\n";
    const QString sMain = dir.WriteText("main.TZD", sMainText);
    TConversation c;
    c.Request("initialize", QJsonObject{});
    c.Open(sMain, sMainText);
    const QJsonArray first = c.Diagnostics(sMain);
    ASSERT_EQ(first.size(), 1) << Messages(first).toStdString();
    const QJsonObject warning = first.at(0).toObject();
    EXPECT_EQ(warning.value("severity").toInt(), 2);
    EXPECT_EQ(warning.value("message").toString(), "Goto target \"Tow\" names no test case");
    const QJsonObject range = warning.value("range").toObject();
    EXPECT_EQ(range.value("start").toObject().value("line").toInt(), 4);
    EXPECT_EQ(range.value("start").toObject().value("character").toInt(), 22);
    EXPECT_EQ(range.value("end").toObject().value("character").toInt(), 25);

    // The include, edited and not saved: the device is renamed, so the main file's lines fail and
    // the include's own mistake is reported in its own line.
    c.Open(sInclude, "Device.Create(SystemControl; Sys2)\nSet(Integr; Count)\n");
    const QJsonArray main = c.Diagnostics(sMain);
    EXPECT_TRUE(Messages(main).contains("Device \"Sys\" not declared, command \"Delay\" skipped."))
        << Messages(main).toStdString();
    const QJsonArray included = c.Diagnostics(sInclude);
    ASSERT_EQ(included.size(), 1) << Messages(included).toStdString();
    EXPECT_TRUE(included.at(0).toObject().value("message").toString().contains("Unknown type \"Integr\""));
    EXPECT_EQ(
        included.at(0).toObject().value("range").toObject().value("start").toObject().value("line").toInt(),
        1);

    c.Change(sInclude, "Device.Create(SystemControl; Sys)\nSet(Integer; Count)\n");
    EXPECT_EQ(c.Diagnostics(sMain).size(), 1);
    EXPECT_EQ(c.Diagnostics(sInclude).size(), 0);

    // A device that needs hardware is checked as "tzk-run --check" does: no sound server asked.
    c.Change(sMain, "Device.Create(AudioOutput; Out; Speakers-not-here)\nOut.SetVolume(\"V\"; Scalar; 2)\n"
                    "Test.Case(\"T\")\n}\n");
    const QJsonArray audio = c.Diagnostics(sMain);
    ASSERT_EQ(audio.size(), 1) << Messages(audio).toStdString();
    EXPECT_TRUE(Messages(audio).contains("Scalar value 2.0000 out of range"));
}

// Completion, hover, definitions, references and the outline over a file and its include.
TEST(LspServerTest, NavigatesDevicesTestCasesVariablesAndIncludes)
{
    TTestDir dir;
    const QString sInclude = dir.WriteText("devices.inc", "Device.Create(SystemControl; Sys)\n"
                                                          "#define SETTLE 10\n");
    const QString sText = "#include \"devices.inc\"\n"                       // 0
                          "Set(Integer; Count)\n"                            // 1
                          "Test.Case(\"Outer\")\n"                           // 2
                          "{\n"                                              // 3
                          "    Test.Case(\"Inner\")\n"                       // 4
                          "    {\n"                                          // 5
                          "        Sys.Delay(\"W\"; SETTLE)\n"               // 6
                          "    }\n"                                          // 7
                          "    Sys.Goto(\"Again\"; \"inner\"; %Count < 3)\n" // 8
                          "    Sys.\n"                                       // 9
                          "}\n";                                             // 10
    const QString sMain = dir.WriteText("main.TZD", sText.toUtf8());
    TConversation c;
    c.Request("initialize", QJsonObject{});
    c.Open(sMain, sText);

    const QStringList slFunctions =
        Labels(c.Request("textDocument/completion", TConversation::At(sMain, 9, 8)));
    EXPECT_TRUE(slFunctions.contains("Delay") && slFunctions.contains("Dialog.Input.Value"))
        << slFunctions.join(' ').toStdString();
    const QJsonArray items = c.Request("textDocument/completion", TConversation::At(sMain, 9, 8))
                                 .value("result")
                                 .toObject()
                                 .value("items")
                                 .toArray();
    for (const QJsonValue& item : items) {
        if (item.toObject().value("label") == QLatin1String("Delay")) {
            EXPECT_EQ(item.toObject().value("detail").toString(), "Sys.Delay(\"<label>\"; <milliseconds>)");
        }
    }
    const struct
    {
        int iLine;
        int iCharacter;
        const char* sExpected;
        const char* sUnexpected;
    } completions[] = {
        {8, 25, "Inner", "Count"},     // a jump target: the test cases
        {8, 35, "Count", "Outer"},     // after "%": the variables
        {1, 5, "FileInfo", "Sys"},     // a setting's name
        {10, 0, "Test.Case", "Delay"}, // a statement: keywords, devices, defines
        {10, 0, "SETTLE", "Count"},
    };
    const QStringList slLines = sText.split('\n');
    for (const auto& k : completions) {
        // The line as it is typed up to the cursor.
        QString sTyped = sText;
        if (k.iLine == 8 && k.iCharacter == 25)
            sTyped.replace("\"inner\"; %Count < 3)", "\"");
        if (k.iLine == 8 && k.iCharacter == 35)
            sTyped.replace("%Count < 3)", "%Co");
        c.Change(sMain, sTyped);
        const QStringList slLabels =
            Labels(c.Request("textDocument/completion", TConversation::At(sMain, k.iLine, k.iCharacter)));
        EXPECT_TRUE(slLabels.contains(k.sExpected))
            << k.iLine << ":" << k.iCharacter << " " << slLabels.join(' ').toStdString();
        EXPECT_FALSE(slLabels.contains(k.sUnexpected)) << k.iLine << ":" << k.iCharacter;
    }
    c.Change(sMain, sText);
    const QStringList slTypes =
        Labels(c.Request("textDocument/completion", TConversation::At(sInclude, 0, 14)));
    EXPECT_TRUE(slTypes.contains("SystemControl") && slTypes.contains("AudioInput"))
        << slTypes.join(' ').toStdString();
    const QString sType = c.Request("textDocument/hover", TConversation::At(sInclude, 0, 16))
                              .value("result")
                              .toObject()
                              .value("contents")
                              .toObject()
                              .value("value")
                              .toString();
    EXPECT_TRUE(sType.contains("Device.Create(SystemControl; <name>)")) << sType.toStdString();

    const QString sHover = c.Request("textDocument/hover", TConversation::At(sMain, 6, 13))
                               .value("result")
                               .toObject()
                               .value("contents")
                               .toObject()
                               .value("value")
                               .toString();
    EXPECT_TRUE(sHover.contains("<sys>.Delay(\"<label>\"; <milliseconds>)")) << sHover.toStdString();
    EXPECT_TRUE(sHover.contains("Example:")) << sHover.toStdString();
    const QString sKeyword = c.Request("textDocument/hover", TConversation::At(sMain, 2, 2))
                                 .value("result")
                                 .toObject()
                                 .value("contents")
                                 .toObject()
                                 .value("value")
                                 .toString();
    EXPECT_TRUE(sKeyword.contains("Test.Case(<label> [; <option>])")) << sKeyword.toStdString();

    const auto Definition = [&](int iLine, int iCharacter) {
        const QJsonObject location =
            c.Request("textDocument/definition", TConversation::At(sMain, iLine, iCharacter))
                .value("result")
                .toArray()
                .at(0)
                .toObject();
        return QStringLiteral("%1:%2:%3")
            .arg(QUrl(location.value("uri").toString()).fileName())
            .arg(location.value("range").toObject().value("start").toObject().value("line").toInt())
            .arg(location.value("range").toObject().value("start").toObject().value("character").toInt());
    };
    EXPECT_EQ(Definition(0, 12), "devices.inc:0:0"); // the include
    EXPECT_EQ(Definition(6, 9), "devices.inc:0:29"); // the device
    EXPECT_EQ(Definition(6, 25), "devices.inc:1:8"); // the define
    EXPECT_EQ(Definition(8, 25), "main.TZD:4:15");   // the jump target, in any case
    EXPECT_EQ(Definition(8, 33), "main.TZD:1:13");   // the variable

    const QJsonArray devices =
        c.Request("textDocument/references", TConversation::At(sMain, 8, 5)).value("result").toArray();
    EXPECT_EQ(devices.size(), 4) << "the declaration and three lines of main.TZD";
    const QJsonArray cases =
        c.Request("textDocument/references", TConversation::At(sMain, 4, 17)).value("result").toArray();
    EXPECT_EQ(cases.size(), 2) << "the test case and the jump";

    const QJsonArray outline =
        c.Request("textDocument/documentSymbol",
                  QJsonObject{{"textDocument", QJsonObject{{"uri", TConversation::Uri(sMain)}}}})
            .value("result")
            .toArray();
    ASSERT_EQ(outline.size(), 1);
    EXPECT_EQ(outline.at(0).toObject().value("name").toString(), "Outer");
    EXPECT_EQ(
        outline.at(0).toObject().value("range").toObject().value("end").toObject().value("line").toInt(), 10);
    const QJsonArray children = outline.at(0).toObject().value("children").toArray();
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children.at(0).toObject().value("name").toString(), "Inner");
}

// A type's registration lists exactly the functions its devices serve, in their order, so that the
// editor and the lint, which read the registration, never miss or invent one.
TEST(LspServerTest, RegisteredFunctionsAreTheDevicesFunctions)
{
    for (const QString& sType : TConversation::Types().Names()) {
        TDeviceContext context;
        context.SetHardwareAttached(false);
        const std::unique_ptr<TDevice> device = (*TConversation::Types().Creator(sType))(context);
        EXPECT_EQ(TConversation::Types().Functions(sType), device->FunctionNames()) << sType.toStdString();
    }
}

// Every function a device type registers is described in the reference, so that completion and
// hover have its parameters and description.
TEST(LspServerTest, ReferenceDescribesEveryRegisteredFunction)
{
    const TReferenceIndex& reference = TReferenceIndex::BuiltIn();
    QStringList slMissing;
    for (const QString& sType : TConversation::Types().Names()) {
        for (const QString& sFunction : TConversation::Types().Functions(sType)) {
            if (!reference.Function(sType, sFunction))
                slMissing.append(sType + QLatin1Char('.') + sFunction);
        }
    }
    EXPECT_TRUE(slMissing.isEmpty()) << slMissing.join(", ").toStdString();
    for (const char* sKeyword :
         {"Test.Case", "Test.Final", "Device.Create", "Set", "#include", "#define", "#ifdef"})
        EXPECT_TRUE(reference.Keyword(QString::fromLatin1(sKeyword))) << sKeyword;
    EXPECT_TRUE(reference.Setting("ValueLog"));
}

// A worked example on a page read before the language page must not displace a statement's
// template in the hover, whatever order the pages come in.
TEST(LspServerTest, StatementHoverKeepsTheTemplateOverExamples)
{
    const QString sExample =
        QStringLiteral("# Sockets\n\n```text\nTest.Case(\"Measure\")\n```\n\nAn example.\n");
    const QString sLanguage = QStringLiteral(
        "# Definition files\n\n```text\nTest.Case(<label> [; <option>])\n```\n\nA test case.\n");
    for (const bool bExampleFirst : {true, false}) {
        TReferenceIndex index;
        if (bExampleFirst)
            index.AddPage(QStringLiteral("sockets.md"), sExample);
        index.AddPage(QStringLiteral("definition-files.md"), sLanguage);
        if (!bExampleFirst)
            index.AddPage(QStringLiteral("sockets.md"), sExample);
        const TReferenceEntry* pEntry = index.Keyword(QStringLiteral("Test.Case"));
        ASSERT_TRUE(pEntry);
        EXPECT_EQ(pEntry->sSyntax, QStringLiteral("Test.Case(<label> [; <option>])")) << bExampleFirst;
        EXPECT_EQ(pEntry->sPage, QStringLiteral("definition-files.md"));
    }
}

namespace {

// The fields of a reference syntax line: how many, and whether the last repeats ("; ...").
struct TSyntaxShape
{
    int iFields = 0;
    bool bRepeats = false;
};

TSyntaxShape ShapeOf(const QString& sSyntax)
{
    const qsizetype iOpen = sSyntax.indexOf(QLatin1Char('('));
    const qsizetype iClose = sSyntax.lastIndexOf(QLatin1Char(')'));
    TSyntaxShape shape;
    if (iOpen < 0 || iClose <= iOpen)
        return shape;
    QString sFields = sSyntax.mid(iOpen + 1, iClose - iOpen - 1);
    sFields.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    QStringList slFields;
    for (const QString& sField : sFields.split(QLatin1Char(';')))
        if (!sField.trimmed().isEmpty())
            slFields.append(sField.trimmed());
    shape.bRepeats = !slFields.isEmpty() && slFields.last() == QLatin1String("...");
    shape.iFields = int(slFields.size()) - (shape.bRepeats ? 1 : 0);
    return shape;
}

} // namespace

// Every registered function describes each field its reference syntax line has (a repeating last
// field as "More" after it), so that the editor and the lint know every field of every function
// without making a device.
TEST(LspServerTest, RegisteredShapesMatchTheReference)
{
    const TReferenceIndex& reference = TReferenceIndex::BuiltIn();
    QStringList slWrong;
    for (const QString& sType : TConversation::Types().Names()) {
        for (const QString& sFunction : TConversation::Types().Functions(sType)) {
            const TFunctionInfo* pInfo = TConversation::Types().Function(sType, sFunction);
            const TReferenceEntry* pEntry = reference.Function(sType, sFunction);
            if (!pInfo || !pEntry)
                continue; // a function without a reference fails the test above
            const TSyntaxShape shape = ShapeOf(pEntry->sSyntax);
            const std::vector<EParamField>& fields = pInfo->Fields;
            const bool bMore = !fields.empty() && fields.back() == EParamField::More;
            const int iDescribed = int(fields.size()) - (bMore ? 1 : 0);
            const bool bFits = shape.bRepeats ? bMore && iDescribed >= 2 && iDescribed <= shape.iFields
                                              : !bMore && iDescribed == shape.iFields;
            const bool bLabelFirst = !fields.empty() && (fields.front() == EParamField::Label ||
                                                         !pEntry->sSyntax.contains(QLatin1String("<label>")));
            if (!bFits || !bLabelFirst || std::count(fields.begin(), fields.end(), EParamField::More) > 1)
                slWrong.append(QStringLiteral("%1.%2: %3 fields%4 registered; the reference: %5")
                                   .arg(sType, sFunction)
                                   .arg(iDescribed)
                                   .arg(bMore ? QStringLiteral(" and More") : QString())
                                   .arg(pEntry->sSyntax));
        }
    }
    EXPECT_TRUE(slWrong.isEmpty()) << slWrong.size() << " functions:\n"
                                   << slWrong.join(QLatin1Char('\n')).toStdString();
}

// The field before "More" stands for every later field; a shape without it describes only its own.
TEST(LspServerTest, RepeatingFieldStandsForEveryLaterField)
{
    TFunctionInfo info{QStringLiteral("SetVolume"),
                       {EParamField::Label, EParamField::Choice, EParamField::Number, EParamField::More}};
    EXPECT_EQ(info.Field(0), EParamField::Label);
    EXPECT_EQ(info.Field(1), EParamField::Choice);
    EXPECT_EQ(info.Field(2), EParamField::Number);
    EXPECT_EQ(info.Field(7), EParamField::Number);
    info.Fields.pop_back();
    EXPECT_EQ(info.Field(7), EParamField::Text);
    EXPECT_EQ(info.Field(-1), EParamField::Text);
}
