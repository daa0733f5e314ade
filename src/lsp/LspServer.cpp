#include "LspServer.h"

#include "lsp/ReferenceIndex.h"

#include "console/ConsoleLoader.h"
#include "execution/DeviceList.h"
#include "language/DefFileInterpreter.h"
#include "language/Session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>

#include <stdexcept>

namespace {

// JSON-RPC error codes.
constexpr int ciParseError = -32700;
constexpr int ciInvalidRequest = -32600;
constexpr int ciMethodNotFound = -32601;
constexpr int ciInvalidParams = -32602;
constexpr int ciInternalError = -32603;
constexpr int ciServerNotInitialized = -32002;

// Completion item and symbol kinds of the protocol.
constexpr int ciItemMethod = 2;
constexpr int ciItemVariable = 6;
constexpr int ciItemClass = 7;
constexpr int ciItemModule = 9;
constexpr int ciItemProperty = 10;
constexpr int ciItemKeyword = 14;
constexpr int ciItemReference = 18;
constexpr int ciItemConstant = 21;
constexpr int ciSymbolNamespace = 3;
constexpr int ciSymbolClass = 5;

class ELspError : public std::runtime_error
{
public:
    ELspError(int iCode, const QString& sMessage) : std::runtime_error(sMessage.toStdString()), fiCode(iCode)
    {}
    int Code() const { return fiCode; }

private:
    int fiCode;
};

QJsonObject Member(const QJsonObject& aObject, const char* sKey)
{
    const QJsonValue value = aObject.value(QLatin1String(sKey));
    if (!value.isObject())
        throw ELspError(ciInvalidParams, QStringLiteral("\"%1\" must be an object").arg(QLatin1String(sKey)));
    return value.toObject();
}

QString StringMember(const QJsonObject& aObject, const char* sKey)
{
    const QJsonValue value = aObject.value(QLatin1String(sKey));
    if (!value.isString())
        throw ELspError(ciInvalidParams, QStringLiteral("\"%1\" must be a string").arg(QLatin1String(sKey)));
    return value.toString();
}

int IntMember(const QJsonObject& aObject, const char* sKey)
{
    const QJsonValue value = aObject.value(QLatin1String(sKey));
    if (!value.isDouble() || value.toDouble() < 0 || value.toDouble() > 1e9)
        throw ELspError(ciInvalidParams,
                        QStringLiteral("\"%1\" must be a non-negative integer").arg(QLatin1String(sKey)));
    return int(value.toDouble());
}

QString PathOf(const QString& sUri)
{
    const QUrl url(sUri);
    if (!url.isValid() || !url.isLocalFile())
        throw ELspError(ciInvalidParams, QStringLiteral("Not a file URI: ") + sUri);
    return QDir::cleanPath(url.toLocalFile());
}

QString DocumentPath(const QJsonObject& aParams)
{
    return PathOf(StringMember(Member(aParams, "textDocument"), "uri"));
}

QJsonObject Position(int iLine, int iCharacter)
{
    return QJsonObject{{QStringLiteral("line"), iLine}, {QStringLiteral("character"), iCharacter}};
}

QJsonObject Range(int iLine, int iStart, int iEnd, int iEndLine = -1)
{
    return QJsonObject{{QStringLiteral("start"), Position(iLine, iStart)},
                       {QStringLiteral("end"), Position(iEndLine < 0 ? iLine : iEndLine, iEnd)}};
}

QJsonObject Item(const QString& sLabel, int iKind, const QString& sDetail = QString(),
                 const QString& sDocumentation = QString(), const QString& sInsert = QString())
{
    QJsonObject item{{QStringLiteral("label"), sLabel}, {QStringLiteral("kind"), iKind}};
    if (!sDetail.isEmpty())
        item.insert(QStringLiteral("detail"), sDetail);
    if (!sDocumentation.isEmpty())
        item.insert(QStringLiteral("documentation"),
                    QJsonObject{{QStringLiteral("kind"), QStringLiteral("markdown")},
                                {QStringLiteral("value"), sDocumentation}});
    if (!sInsert.isEmpty())
        item.insert(QStringLiteral("insertText"), sInsert);
    return item;
}

// The interpreter reading the editor's unsaved buffers in place of their files.
class TOverlayInterpreter : public TInterpreter
{
public:
    TOverlayInterpreter(IInterpreterHost& aHost, TDeviceContext& aContext,
                        const std::map<QString, QString>& aOpen)
        : TInterpreter(aHost, aContext), fOpen(aOpen)
    {}

    bool FileAvailable(const QString& sFileName) const override
    {
        return fOpen.count(QDir::cleanPath(sFileName)) > 0 || TInterpreter::FileAvailable(sFileName);
    }
    bool LoadFileToList(const QString& sFileName, QStringList& aList) override
    {
        const auto it = fOpen.find(QDir::cleanPath(sFileName));
        if (it == fOpen.end())
            return TInterpreter::LoadFileToList(sFileName, aList);
        aList = BytesToLines(it->second.toUtf8());
        return true;
    }

private:
    const std::map<QString, QString>& fOpen;
};

// The columns a message is about in its line: the first quoted name of the message found in the
// line, else the statement without its indentation.
std::pair<int, int> MessageColumns(const QString& sLine, const QString& sMessage)
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
    auto it = quoted.globalMatch(sMessage);
    while (it.hasNext()) {
        const QString sName = it.next().captured(1);
        const qsizetype iColumn = sLine.indexOf(sName);
        if (iColumn >= 0)
            return {int(iColumn), int(iColumn + sName.size())};
    }
    const qsizetype iStart =
        sLine.size() - QString(sLine).remove(QRegularExpression(QStringLiteral("^\\s+"))).size();
    return {int(iStart), int(QString(sLine).remove(QRegularExpression(QStringLiteral("\\s+$"))).size())};
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('#') ||
           c == QLatin1Char('%');
}

} // namespace

TLspServer::TLspServer(const TReferenceIndex& aReference, const TDeviceTypes& aTypes, TSend aSend)
    : fReference(aReference), fTypes(aTypes), fSend(std::move(aSend))
{}

void TLspServer::Notify(const QString& sMethod, const QJsonObject& aParams)
{
    fSend(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                      {QStringLiteral("method"), sMethod},
                      {QStringLiteral("params"), aParams}});
}

void TLspServer::Respond(const QJsonValue& aId, const QJsonValue& aResult)
{
    fSend(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                      {QStringLiteral("id"), aId},
                      {QStringLiteral("result"), aResult}});
}

void TLspServer::RespondError(const QJsonValue& aId, int iCode, const QString& sMessage)
{
    fSend(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                      {QStringLiteral("id"), aId},
                      {QStringLiteral("error"),
                       QJsonObject{{QStringLiteral("code"), iCode}, {QStringLiteral("message"), sMessage}}}});
}

void TLspServer::FramingError(const QString& sError)
{
    RespondError(QJsonValue::Null, ciParseError, sError);
}

void TLspServer::Handle(const QByteArray& aBody)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(aBody, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        RespondError(QJsonValue::Null, ciParseError,
                     QStringLiteral("Parse error: ") + parseError.errorString());
        return;
    }
    if (!document.isObject()) {
        RespondError(QJsonValue::Null, ciInvalidRequest, QStringLiteral("A message must be an object"));
        return;
    }
    const QJsonObject message = document.object();
    const bool bRequest = message.contains(QLatin1String("id"));
    const QJsonValue id = message.value(QLatin1String("id"));
    const QJsonValue method = message.value(QLatin1String("method"));
    if (!method.isString()) {
        // The editor's answers to requests of ours: this server sends none.
        if (bRequest && !message.contains(QLatin1String("result")) &&
            !message.contains(QLatin1String("error")))
            RespondError(id, ciInvalidRequest, QStringLiteral("A request needs a method"));
        return;
    }
    if (bRequest && !id.isString() && !id.isDouble()) {
        RespondError(QJsonValue::Null, ciInvalidRequest,
                     QStringLiteral("An id must be a number or a string"));
        return;
    }
    const QString sMethod = method.toString();
    const QJsonValue params = message.value(QLatin1String("params"));
    try {
        if (!params.isUndefined() && !params.isObject() && !params.isNull())
            throw ELspError(ciInvalidParams, QStringLiteral("Parameters must be an object"));
        if (fbShutdown && sMethod != QLatin1String("exit"))
            throw ELspError(ciInvalidRequest, QStringLiteral("The server is shut down"));
        if (!fbInitialized && sMethod != QLatin1String("initialize") && sMethod != QLatin1String("exit")) {
            if (bRequest)
                throw ELspError(ciServerNotInitialized, QStringLiteral("The server is not initialized"));
            return;
        }
        const QJsonValue result = Dispatch(sMethod, params.toObject());
        if (bRequest)
            Respond(id, result);
    } catch (const ELspError& e) {
        if (bRequest)
            RespondError(id, e.Code(), QString::fromStdString(e.what()));
    } catch (const std::exception& e) {
        if (bRequest)
            RespondError(id, ciInternalError, QString::fromStdString(e.what()));
    }
}

QJsonValue TLspServer::Dispatch(const QString& sMethod, const QJsonObject& aParams)
{
    if (sMethod == QLatin1String("initialize")) {
        fbInitialized = true;
        const QJsonObject capabilities{
            {QStringLiteral("textDocumentSync"),
             QJsonObject{{QStringLiteral("openClose"), true}, {QStringLiteral("change"), 1}}},
            {QStringLiteral("completionProvider"),
             QJsonObject{{QStringLiteral("triggerCharacters"),
                          QJsonArray{QStringLiteral("."), QStringLiteral("%"), QStringLiteral("#"),
                                     QStringLiteral("("), QStringLiteral(";")}}}},
            {QStringLiteral("hoverProvider"), true},
            {QStringLiteral("definitionProvider"), true},
            {QStringLiteral("referencesProvider"), true},
            {QStringLiteral("documentSymbolProvider"), true}};
        return QJsonObject{
            {QStringLiteral("capabilities"), capabilities},
            {QStringLiteral("serverInfo"), QJsonObject{{QStringLiteral("name"), QStringLiteral("tzk-lsp")}}}};
    }
    if (sMethod == QLatin1String("initialized"))
        return QJsonValue::Null;
    if (sMethod == QLatin1String("shutdown")) {
        fbShutdown = true;
        return QJsonValue::Null;
    }
    if (sMethod == QLatin1String("exit")) {
        fbExit = true;
        return QJsonValue::Null;
    }
    if (sMethod == QLatin1String("textDocument/didOpen"))
        Opened(aParams);
    else if (sMethod == QLatin1String("textDocument/didChange"))
        Changed(aParams);
    else if (sMethod == QLatin1String("textDocument/didClose"))
        Closed(aParams);
    else if (sMethod == QLatin1String("textDocument/didSave"))
        MarkDirty(DocumentPath(aParams));
    else if (sMethod == QLatin1String("textDocument/completion"))
        return Completion(aParams);
    else if (sMethod == QLatin1String("textDocument/hover"))
        return Hover(aParams);
    else if (sMethod == QLatin1String("textDocument/definition"))
        return Definition(aParams);
    else if (sMethod == QLatin1String("textDocument/references"))
        return References(aParams);
    else if (sMethod == QLatin1String("textDocument/documentSymbol"))
        return DocumentSymbols(aParams);
    else if (!sMethod.startsWith(QLatin1String("$/")))
        throw ELspError(ciMethodNotFound, QStringLiteral("Unknown method: ") + sMethod);
    return QJsonValue::Null;
}

QString TLspServer::Uri(const QString& sFile) const
{
    const auto it = fUris.find(sFile);
    return it != fUris.end() ? it->second : QUrl::fromLocalFile(sFile).toString();
}

QString TLspServer::Text(const QString& sFile) const
{
    const auto it = fOpen.find(sFile);
    if (it != fOpen.end())
        return it->second;
    QFile file(sFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 32 * 1024 * 1024)
        return QString();
    return TInterpreterBase::BytesToLines(file.readAll()).join(QLatin1Char('\n'));
}

std::vector<TDocumentIndex> TLspServer::Closure(const QString& sFile) const
{
    const QString sMainDirectory = QFileInfo(sFile).absolutePath();
    std::vector<TDocumentIndex> closure;
    std::set<QString> seen{sFile};
    std::vector<QString> pending{sFile};
    // As many files as the reader follows at most; a file including itself is indexed once.
    while (!pending.empty() && closure.size() < 10000) {
        const QString sNext = pending.front();
        pending.erase(pending.begin());
        if (sNext != sFile && fOpen.count(sNext) == 0 && !QFileInfo(sNext).isFile())
            continue;
        closure.push_back(TDocumentIndex::Scan(sNext, Text(sNext), sMainDirectory));
        for (const TDefSymbol& symbol : closure.back().Symbols()) {
            if (symbol.eKind == TDefSymbol::skInclude && seen.insert(symbol.sDetail).second)
                pending.push_back(symbol.sDetail);
        }
    }
    return closure;
}

QString TLspServer::RootOf(const QString& sFile) const
{
    for (const auto& open : fOpen) {
        if (open.first == sFile)
            continue;
        for (const TDocumentIndex& index : Closure(open.first)) {
            if (index.File() == sFile)
                return open.first;
        }
    }
    return sFile;
}

void TLspServer::MarkDirty(const QString& sFile)
{
    for (const auto& open : fOpen) {
        if (RootOf(open.first) != open.first)
            continue;
        for (const TDocumentIndex& index : Closure(open.first)) {
            if (index.File() == sFile) {
                fDirty.insert(open.first);
                break;
            }
        }
    }
}

void TLspServer::Opened(const QJsonObject& aParams)
{
    const QJsonObject document = Member(aParams, "textDocument");
    const QString sUri = StringMember(document, "uri");
    const QString sFile = PathOf(sUri);
    fOpen[sFile] = StringMember(document, "text");
    fUris[sFile] = sUri;
    // A file that an open definition includes is checked as part of it from now on.
    for (const auto& published : fPublished) {
        if (published.first != sFile && published.second.count(sFile) > 0)
            fDirty.insert(published.first);
    }
    MarkDirty(sFile);
}

void TLspServer::Changed(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const QJsonValue changes = aParams.value(QLatin1String("contentChanges"));
    if (!changes.isArray() || changes.toArray().isEmpty())
        throw ELspError(ciInvalidParams, QStringLiteral("\"contentChanges\" must be a non-empty array"));
    // Whole-document synchronisation: the last change is the text.
    const QJsonValue last = changes.toArray().last();
    if (!last.isObject())
        throw ELspError(ciInvalidParams, QStringLiteral("A content change must be an object"));
    fOpen[sFile] = StringMember(last.toObject(), "text");
    MarkDirty(sFile);
}

void TLspServer::Closed(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const auto published = fPublished.find(sFile);
    if (published != fPublished.end()) {
        for (const QString& sPublished : published->second)
            Notify(QStringLiteral("textDocument/publishDiagnostics"),
                   QJsonObject{{QStringLiteral("uri"), Uri(sPublished)},
                               {QStringLiteral("diagnostics"), QJsonArray()}});
        fPublished.erase(published);
    }
    fOpen.erase(sFile);
    fDirty.erase(sFile);
    // Definitions that include it read the file from now on.
    MarkDirty(sFile);
}

void TLspServer::Diagnose()
{
    const std::set<QString> dirty = std::move(fDirty);
    fDirty.clear();
    for (const QString& sRoot : dirty) {
        if (fOpen.count(sRoot) > 0)
            DiagnoseRoot(sRoot);
    }
}

void TLspServer::DiagnoseRoot(const QString& sRoot)
{
    const std::vector<TDocumentIndex> closure = Closure(sRoot);
    std::map<QString, QJsonArray> diagnostics;
    std::map<QString, const TDocumentIndex*> indexes;
    for (const TDocumentIndex& index : closure) {
        diagnostics[index.File()];
        indexes[index.File()] = &index;
    }

    QString sOutput;
    {
        TSession session(&fTypes);
        session.Context().SetHardwareAttached(false);
        session.SetLoaderFactory(
            [this](IInterpreterHost& aHost, TDeviceContext& aContext) -> std::unique_ptr<IDefinitionLoader> {
                return std::make_unique<TOverlayInterpreter>(aHost, aContext, fOpen);
            });
        TConsoleLoader loader(session, false);
        loader.SetCheckOnly(true);
        QTextStream stream(&sOutput);
        loader.Load(sRoot, stream);
    }

    static const QRegularExpression located(QStringLiteral("^(.+?):(\\d+): (error|warning): (.*)$"));
    static const QRegularExpression failure(QStringLiteral("^(.+?): error: (.*)$"));
    QString sLastFile;
    for (const QString& sLine : sOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString sFile = sRoot;
        int iLine = 0;
        QString sSeverity = QStringLiteral("error");
        QString sMessage;
        const QRegularExpressionMatch m = located.match(sLine);
        const QRegularExpressionMatch f = failure.match(sLine);
        if (m.hasMatch()) {
            sFile = QDir::cleanPath(QFileInfo(m.captured(1)).absoluteFilePath());
            iLine = std::max(0, m.captured(2).toInt() - 1);
            sSeverity = m.captured(3);
            sMessage = m.captured(4);
        } else if (f.hasMatch()) {
            sMessage = f.captured(2);
        } else {
            // A hint line belongs to the message before it.
            if (sLastFile.isEmpty())
                continue;
            QJsonArray& items = diagnostics[sLastFile];
            QJsonObject last = items.last().toObject();
            last.insert(QStringLiteral("message"),
                        last.value(QLatin1String("message")).toString() + QLatin1Char('\n') + sLine);
            items.replace(items.size() - 1, last);
            continue;
        }
        const auto index = indexes.find(sFile);
        const QString sText = index != indexes.end() ? index->second->Lines().value(iLine)
                                                     : Text(sFile).split(QLatin1Char('\n')).value(iLine);
        const std::pair<int, int> columns = MessageColumns(sText, sMessage);
        diagnostics[sFile].append(
            QJsonObject{{QStringLiteral("range"), Range(iLine, columns.first, columns.second)},
                        {QStringLiteral("severity"), sSeverity == QLatin1String("error") ? 1 : 2},
                        {QStringLiteral("source"), QStringLiteral("tzk")},
                        {QStringLiteral("message"), sMessage}});
        sLastFile = sFile;
    }

    std::set<QString>& published = fPublished[sRoot];
    for (const QString& sFile : published)
        diagnostics[sFile];
    published.clear();
    for (const auto& file : diagnostics) {
        Notify(QStringLiteral("textDocument/publishDiagnostics"),
               QJsonObject{{QStringLiteral("uri"), Uri(file.first)},
                           {QStringLiteral("diagnostics"), file.second}});
        published.insert(file.first);
    }
    // A definition checked on its own before and now included by this one is this one's.
    for (auto it = fPublished.begin(); it != fPublished.end();) {
        if (it->first != sRoot && published.count(it->first) > 0)
            it = fPublished.erase(it);
        else
            ++it;
    }
}

QStringList TLspServer::FunctionsOf(const QString& sType) const
{
    QStringList slFunctions = fTypes.Functions(sType);
    slFunctions.removeDuplicates();
    return slFunctions;
}

QJsonValue TLspServer::Completion(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const QJsonObject position = Member(aParams, "position");
    const int iLine = IntMember(position, "line");
    const int iCharacter = IntMember(position, "character");
    const std::vector<TDocumentIndex> closure = Closure(RootOf(sFile));
    const QString sPrefix =
        TDocumentIndex::Scan(sFile, Text(sFile), QString()).Lines().value(iLine).left(iCharacter);

    std::vector<const TDefSymbol*> symbols;
    for (const TDocumentIndex& index : closure) {
        for (const TDefSymbol& symbol : index.Symbols())
            symbols.push_back(&symbol);
    }
    const auto Declared = [&](TDefSymbol::EKind eKind) {
        std::vector<const TDefSymbol*> found;
        for (const TDefSymbol* pSymbol : symbols) {
            if (pSymbol->eKind == eKind)
                found.push_back(pSymbol);
        }
        return found;
    };

    QJsonArray items;
    static const QRegularExpression directive(QStringLiteral("^\\s*#\\w*$"));
    static const QRegularExpression deviceType(QStringLiteral("^\\s*Device\\.Create\\(\\s*[\\w.]*$"));
    static const QRegularExpression setting(QStringLiteral("^\\s*Set\\(\\s*\\w*$"));
    static const QRegularExpression variable(QStringLiteral("%\\w*$"));
    static const QRegularExpression function(QStringLiteral("^\\s*([A-Za-z_]\\w*)\\.[\\w.]*$"));
    static const QRegularExpression target(
        QStringLiteral("\\.(Goto|SetTestCaseStatus)\\([^;]*;\\s*\"?[^\";]*$"));
    static const QRegularExpression statementStart(QStringLiteral("^\\s*[\\w.]*$"));

    QRegularExpressionMatch m;
    if (directive.match(sPrefix).hasMatch()) {
        for (const QString& sKeyword : fReference.Keywords()) {
            if (sKeyword.startsWith(QLatin1Char('#')))
                items.append(Item(sKeyword, ciItemKeyword, fReference.Keyword(sKeyword)->sSyntax,
                                  fReference.Keyword(sKeyword)->Markdown(), sKeyword.mid(1)));
        }
    } else if (deviceType.match(sPrefix).hasMatch()) {
        for (const QString& sType : fTypes.Names()) {
            const TReferenceEntry* pEntry = fReference.DeviceType(sType);
            items.append(Item(sType, ciItemClass, pEntry ? pEntry->sSyntax : QStringLiteral("device type"),
                              pEntry ? pEntry->Markdown() : QString()));
        }
    } else if (setting.match(sPrefix).hasMatch()) {
        for (const QString& sName : fReference.Settings())
            items.append(Item(sName, ciItemProperty, fReference.Setting(sName)->sSyntax,
                              fReference.Setting(sName)->sDescription));
        for (const char* sType : {"Integer", "Float", "String"})
            items.append(
                Item(QString::fromLatin1(sType), ciItemKeyword, QStringLiteral("variable declaration")));
    } else if (variable.match(sPrefix).hasMatch()) {
        for (const TDefSymbol* pSymbol : Declared(TDefSymbol::skVariable))
            items.append(Item(pSymbol->sName, ciItemVariable, pSymbol->sDetail));
    } else if ((m = function.match(sPrefix)).hasMatch()) {
        for (const TDefSymbol* pDevice : Declared(TDefSymbol::skDevice)) {
            if (pDevice->sName != m.captured(1))
                continue;
            for (const QString& sFunction : FunctionsOf(pDevice->sDetail)) {
                const TReferenceEntry* pEntry = fReference.Function(pDevice->sDetail, sFunction);
                QString sDetail = pEntry ? pEntry->sSyntax : sFunction + QStringLiteral("(\"<label>\"; ...)");
                sDetail.replace(QRegularExpression(QStringLiteral("^<[^>]+>")), pDevice->sName);
                items.append(Item(sFunction, ciItemMethod, sDetail, pEntry ? pEntry->Markdown() : QString()));
            }
            break;
        }
    } else if (target.match(sPrefix).hasMatch()) {
        for (const TDefSymbol* pSymbol : symbols) {
            if (pSymbol->eKind == TDefSymbol::skTestCase || pSymbol->eKind == TDefSymbol::skFinalCase)
                items.append(Item(pSymbol->sName, ciItemReference, QStringLiteral("test case")));
        }
    } else if (statementStart.match(sPrefix).hasMatch()) {
        for (const QString& sKeyword : fReference.Keywords()) {
            if (!sKeyword.startsWith(QLatin1Char('#')))
                items.append(Item(sKeyword, ciItemKeyword, fReference.Keyword(sKeyword)->sSyntax,
                                  fReference.Keyword(sKeyword)->Markdown()));
        }
        for (const TDefSymbol* pSymbol : Declared(TDefSymbol::skDevice))
            items.append(Item(pSymbol->sName, ciItemModule, pSymbol->sDetail));
        for (const TDefSymbol* pSymbol : Declared(TDefSymbol::skDefine))
            items.append(Item(pSymbol->sName, ciItemConstant, pSymbol->sDetail));
    } else {
        for (const TDefSymbol* pSymbol : Declared(TDefSymbol::skVariable))
            items.append(Item(QLatin1Char('%') + pSymbol->sName, ciItemVariable, pSymbol->sDetail));
        for (const TDefSymbol* pSymbol : Declared(TDefSymbol::skDefine))
            items.append(Item(pSymbol->sName, ciItemConstant, pSymbol->sDetail));
    }
    return QJsonObject{{QStringLiteral("isIncomplete"), false}, {QStringLiteral("items"), items}};
}

bool TLspServer::TargetAt(const QString& sFile, int iLine, int iCharacter, TTarget& aTarget) const
{
    const TDocumentIndex index =
        TDocumentIndex::Scan(sFile, Text(sFile), QFileInfo(RootOf(sFile)).absolutePath());
    const QString sLine = index.Lines().value(iLine);
    const QString sCode = index.Code().value(iLine);
    if (sCode.isEmpty() || iCharacter > sLine.size())
        return false;
    for (const TDefSymbol& symbol : index.Symbols()) {
        if (symbol.iLine == iLine && symbol.eKind == TDefSymbol::skInclude) {
            aTarget.sInclude = symbol.sDetail;
            return true;
        }
    }
    int iStart = iCharacter;
    while (iStart > 0 && IsWordChar(sLine.at(iStart - 1)))
        --iStart;
    int iEnd = iCharacter;
    while (iEnd < sLine.size() && IsWordChar(sLine.at(iEnd)))
        ++iEnd;
    QString sWord = sLine.mid(iStart, iEnd - iStart);
    const int iIndent = int(sLine.indexOf(sCode.left(1)));
    const bool bStatementStart = iStart == iIndent;

    // Jump and status targets: the whole label, blanks and all.
    const qsizetype iSemicolon = sLine.indexOf(QLatin1Char(';'));
    if ((sCode.contains(QLatin1String(".Goto(")) || sCode.contains(QLatin1String(".SetTestCaseStatus("))) &&
        iSemicolon >= 0 && iCharacter > iSemicolon &&
        (sLine.indexOf(QLatin1Char(';'), iSemicolon + 1) < 0 ||
         iCharacter <= sLine.indexOf(QLatin1Char(';'), iSemicolon + 1))) {
        const QString sField = sLine.mid(iSemicolon + 1).section(QLatin1Char(';'), 0, 0);
        const qsizetype iQuote = sField.indexOf(QLatin1Char('"'));
        aTarget.eKind = TDefSymbol::skTestCase;
        aTarget.sName =
            iQuote >= 0 ? sField.section(QLatin1Char('"'), 1, 1) : sField.trimmed().remove(QLatin1Char(')'));
        return !aTarget.sName.isEmpty();
    }
    if (sCode.startsWith(QLatin1String("Device.Create(")) && iCharacter > sLine.indexOf(QLatin1Char('(')) &&
        (iSemicolon < 0 || iCharacter <= iSemicolon)) {
        aTarget.sTypeName = sCode.mid(14).section(QLatin1Char(';'), 0, 0).remove(QLatin1Char(')')).trimmed();
        return !aTarget.sTypeName.isEmpty();
    }
    for (const TDefSymbol& symbol : index.Symbols()) {
        if (symbol.iLine == iLine && iCharacter >= symbol.iStart && iCharacter <= symbol.iEnd) {
            aTarget.eKind = symbol.eKind;
            aTarget.sName = symbol.sName;
            return true;
        }
    }
    if (sWord.startsWith(QLatin1Char('#'))) {
        aTarget.sKeyword = sWord;
        return true;
    }
    if (sWord.startsWith(QLatin1Char('%'))) {
        aTarget.eKind = TDefSymbol::skVariable;
        aTarget.sName = sWord.mid(1).section(QLatin1Char('.'), 0, 0);
        return !aTarget.sName.isEmpty();
    }
    for (const char* sKeyword : {"Test.Case", "Test.Final", "Device.Create", "Set"}) {
        if (bStatementStart && sWord == QLatin1String(sKeyword) &&
            sLine.mid(iEnd).startsWith(QLatin1Char('('))) {
            aTarget.sKeyword = sWord;
            return true;
        }
    }
    if (sCode.startsWith(QLatin1String("Set(")) && iSemicolon >= 0 && iCharacter <= iSemicolon &&
        fReference.Setting(sWord)) {
        aTarget.sKeyword = sWord;
        return true;
    }
    const std::vector<TDocumentIndex> closure = Closure(RootOf(sFile));
    const auto Find = [&](TDefSymbol::EKind eKind, const QString& sName) -> const TDefSymbol* {
        for (const TDocumentIndex& each : closure) {
            for (const TDefSymbol& symbol : each.Symbols()) {
                if (symbol.eKind == eKind && symbol.sName == sName)
                    return &symbol;
            }
        }
        return nullptr;
    };
    if (bStatementStart && sWord.contains(QLatin1Char('.'))) {
        const QString sDevice = sWord.section(QLatin1Char('.'), 0, 0);
        const TDefSymbol* pDevice = Find(TDefSymbol::skDevice, sDevice);
        if (pDevice) {
            aTarget.eKind = TDefSymbol::skDevice;
            aTarget.sName = sDevice;
            if (iCharacter > iStart + sDevice.size()) {
                aTarget.sDeviceType = pDevice->sDetail;
                aTarget.sFunction = sWord.mid(sDevice.size() + 1);
            }
            return true;
        }
    }
    sWord = sWord.section(QLatin1Char('.'), 0, 0);
    for (const TDefSymbol::EKind eKind :
         {TDefSymbol::skDefine, TDefSymbol::skVariable, TDefSymbol::skDevice}) {
        if (Find(eKind, sWord)) {
            aTarget.eKind = eKind;
            aTarget.sName = sWord;
            return true;
        }
    }
    return false;
}

QJsonValue TLspServer::Hover(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const QJsonObject position = Member(aParams, "position");
    TTarget target;
    if (!TargetAt(sFile, IntMember(position, "line"), IntMember(position, "character"), target))
        return QJsonValue::Null;
    QString sText;
    if (!target.sFunction.isEmpty()) {
        const TReferenceEntry* pEntry = fReference.Function(target.sDeviceType, target.sFunction);
        sText =
            pEntry
                ? pEntry->Markdown()
                : QStringLiteral("`%1` of a device of type `%2`").arg(target.sFunction, target.sDeviceType);
    } else if (!target.sTypeName.isEmpty()) {
        const TReferenceEntry* pEntry = fReference.DeviceType(target.sTypeName);
        if (!pEntry)
            return QJsonValue::Null;
        sText = pEntry->Markdown();
    } else if (!target.sKeyword.isEmpty()) {
        const TReferenceEntry* pEntry = fReference.Keyword(target.sKeyword);
        if (!pEntry)
            pEntry = fReference.Setting(target.sKeyword);
        if (!pEntry)
            return QJsonValue::Null;
        sText = pEntry->Markdown();
    } else if (!target.sInclude.isEmpty()) {
        sText = QStringLiteral("Includes `%1`").arg(target.sInclude);
    } else {
        for (const TDocumentIndex& index : Closure(RootOf(sFile))) {
            for (const TDefSymbol& symbol : index.Symbols()) {
                if (symbol.eKind != target.eKind || symbol.sName != target.sName)
                    continue;
                const QString sWhere = QStringLiteral("%1, line %2")
                                           .arg(QFileInfo(symbol.sFile).fileName())
                                           .arg(symbol.iLine + 1);
                switch (symbol.eKind) {
                case TDefSymbol::skDevice:
                    sText = QStringLiteral("Device `%1` of type `%2` (%3)")
                                .arg(symbol.sName, symbol.sDetail, sWhere);
                    break;
                case TDefSymbol::skVariable:
                    sText =
                        QStringLiteral("Variable `%%1`: %2 (%3)").arg(symbol.sName, symbol.sDetail, sWhere);
                    break;
                case TDefSymbol::skDefine:
                    sText = QStringLiteral("`#define %1 %2` (%3)").arg(symbol.sName, symbol.sDetail, sWhere);
                    break;
                default:
                    sText = QStringLiteral("Test case \"%1\" (%2)").arg(symbol.sName, sWhere);
                    break;
                }
                break;
            }
            if (!sText.isEmpty())
                break;
        }
        if (sText.isEmpty())
            return QJsonValue::Null;
    }
    return QJsonObject{
        {QStringLiteral("contents"), QJsonObject{{QStringLiteral("kind"), QStringLiteral("markdown")},
                                                 {QStringLiteral("value"), sText}}}};
}

QJsonValue TLspServer::Definition(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const QJsonObject position = Member(aParams, "position");
    TTarget target;
    if (!TargetAt(sFile, IntMember(position, "line"), IntMember(position, "character"), target))
        return QJsonValue::Null;
    if (!target.sInclude.isEmpty())
        return QJsonArray{QJsonObject{{QStringLiteral("uri"), Uri(target.sInclude)},
                                      {QStringLiteral("range"), Range(0, 0, 0)}}};
    if (!target.sKeyword.isEmpty() || !target.sFunction.isEmpty() || !target.sTypeName.isEmpty())
        return QJsonValue::Null;
    for (const TDocumentIndex& index : Closure(RootOf(sFile))) {
        for (const TDefSymbol& symbol : index.Symbols()) {
            const bool bCase = target.eKind == TDefSymbol::skTestCase;
            const bool bKind =
                symbol.eKind == target.eKind || (bCase && symbol.eKind == TDefSymbol::skFinalCase);
            if (bKind &&
                symbol.sName.compare(target.sName, bCase ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0)
                return QJsonArray{
                    QJsonObject{{QStringLiteral("uri"), Uri(symbol.sFile)},
                                {QStringLiteral("range"), Range(symbol.iLine, symbol.iStart, symbol.iEnd)}}};
        }
    }
    return QJsonValue::Null;
}

QJsonValue TLspServer::References(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const QJsonObject position = Member(aParams, "position");
    TTarget target;
    QJsonArray locations;
    if (!TargetAt(sFile, IntMember(position, "line"), IntMember(position, "character"), target) ||
        !target.sInclude.isEmpty() || !target.sKeyword.isEmpty() || target.sName.isEmpty())
        return locations;
    for (const TDocumentIndex& index : Closure(RootOf(sFile))) {
        for (const TDefLocation& use : index.Uses(target.eKind, target.sName))
            locations.append(QJsonObject{{QStringLiteral("uri"), Uri(use.sFile)},
                                         {QStringLiteral("range"), Range(use.iLine, use.iStart, use.iEnd)}});
    }
    return locations;
}

QJsonValue TLspServer::DocumentSymbols(const QJsonObject& aParams)
{
    const QString sFile = DocumentPath(aParams);
    const TDocumentIndex index =
        TDocumentIndex::Scan(sFile, Text(sFile), QFileInfo(RootOf(sFile)).absolutePath());
    const std::vector<TDefSymbol>& symbols = index.Symbols();
    // Children first: a test case's symbol takes its finished children along.
    std::vector<QJsonArray> children(symbols.size());
    QJsonArray roots;
    for (std::size_t i = symbols.size(); i-- > 0;) {
        const TDefSymbol& symbol = symbols[i];
        const bool bCase = symbol.eKind == TDefSymbol::skTestCase || symbol.eKind == TDefSymbol::skFinalCase;
        if (!bCase && symbol.eKind != TDefSymbol::skDevice)
            continue;
        const int iEndLine = bCase ? symbol.iLastLine : symbol.iLine;
        QJsonObject entry{
            {QStringLiteral("name"), symbol.sName.isEmpty() ? QStringLiteral("(no name)") : symbol.sName},
            {QStringLiteral("detail"), symbol.eKind == TDefSymbol::skFinalCase ? QStringLiteral("Test.Final")
                                       : bCase                                 ? QStringLiteral("Test.Case")
                                                                               : symbol.sDetail},
            {QStringLiteral("kind"), bCase ? ciSymbolNamespace : ciSymbolClass},
            {QStringLiteral("range"),
             Range(symbol.iLine, 0, int(index.Lines().value(iEndLine).size()), iEndLine)},
            {QStringLiteral("selectionRange"), Range(symbol.iLine, symbol.iStart, symbol.iEnd)},
            {QStringLiteral("children"), children[i]}};
        if (symbol.iParent >= 0 && bCase) {
            children[std::size_t(symbol.iParent)].prepend(entry);
        } else {
            roots.prepend(entry);
        }
    }
    return roots;
}
