#pragma once

#include "lsp/DocumentIndex.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <map>
#include <set>
#include <vector>

class TReferenceIndex;

// The language server for definition files. Diagnostics come from the program's own load in check
// mode (the devices touch no hardware), exactly as "tzk-run --check" lists them; completion knows
// the device types and the functions of each declared device from the device registry and their
// parameters and descriptions from the reference pages.
class TDeviceTypes;

class TLspServer
{
public:
    using TSend = std::function<void(const QJsonObject& aMessage)>;

    // aTypes: the device types definitions may create; it outlives the server.
    TLspServer(const TReferenceIndex& aReference, const TDeviceTypes& aTypes, TSend aSend);

    // One message body. A malformed one is answered with a JSON-RPC error; nothing ends the server
    // but "exit".
    void Handle(const QByteArray& aBody);
    // A message the framing could not cut out (answered with a parse error).
    void FramingError(const QString& sError);

    // Definitions edited since their last diagnostics; the driver calls Diagnose when no message
    // waits, so that a burst of edits is loaded once.
    bool DiagnosticsPending() const { return !fDirty.empty(); }
    void Diagnose();

    bool ExitRequested() const { return fbExit; }
    // 0 after shutdown and exit, 1 for an exit without shutdown.
    int ExitCode() const { return fbShutdown ? 0 : 1; }

private:
    QJsonValue Dispatch(const QString& sMethod, const QJsonObject& aParams);
    void Notify(const QString& sMethod, const QJsonObject& aParams);
    void Respond(const QJsonValue& aId, const QJsonValue& aResult);
    void RespondError(const QJsonValue& aId, int iCode, const QString& sMessage);

    void Opened(const QJsonObject& aParams);
    void Changed(const QJsonObject& aParams);
    void Closed(const QJsonObject& aParams);
    QJsonValue Completion(const QJsonObject& aParams);
    QJsonValue Hover(const QJsonObject& aParams);
    QJsonValue Definition(const QJsonObject& aParams);
    QJsonValue References(const QJsonObject& aParams);
    QJsonValue DocumentSymbols(const QJsonObject& aParams);

    // The definition's text: the editor's buffer when it is open, else the file.
    QString Text(const QString& sFile) const;
    // The file and every file it includes, each indexed once, the file first.
    std::vector<TDocumentIndex> Closure(const QString& sFile) const;
    // The open definition that loads sFile: one whose includes reach it, else sFile itself.
    QString RootOf(const QString& sFile) const;
    void MarkDirty(const QString& sFile);
    void DiagnoseRoot(const QString& sRoot);
    QStringList FunctionsOf(const QString& sType) const;
    QString Uri(const QString& sFile) const;

    // The symbol the cursor is on or refers to; false when there is none.
    struct TTarget
    {
        TDefSymbol::EKind eKind = TDefSymbol::skTestCase;
        QString sName;
        QString sInclude;    // for an include line, its file
        QString sDeviceType; // for "<device>.<function>", the device's type
        QString sFunction;   // and the function
        QString sKeyword;    // a statement keyword, directive or setting
        QString sTypeName;   // the device type of a Device.Create line
    };
    bool TargetAt(const QString& sFile, int iLine, int iCharacter, TTarget& aTarget) const;

    const TReferenceIndex& fReference;
    const TDeviceTypes& fTypes;
    TSend fSend;
    bool fbInitialized = false;
    bool fbShutdown = false;
    bool fbExit = false;
    std::map<QString, QString> fOpen;                // path -> the editor's text
    std::map<QString, QString> fUris;                // path -> the uri the editor named it by
    std::set<QString> fDirty;                        // roots to diagnose
    std::map<QString, std::set<QString>> fPublished; // root -> files it published diagnostics for
};
