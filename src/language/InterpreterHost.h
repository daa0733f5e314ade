#pragma once

#include <QString>

class TErrorReport;

// What a load needs of the program that loads a definition: its options, the error report, the
// settings that belong to the main window (file label, key assignments, default document) and the
// definition documents it can show.
class IInterpreterHost
{
public:
    virtual ~IInterpreterHost() = default;

    // The option "Skip Errors": undeclared devices become dummy nodes instead of errors.
    virtual bool SkipErrors() const = 0;
    virtual void SetFileInfo(const QString& sLabel, const QString& sVersion) = 0;
    // Assigns a key code to the action with that caption; false when there is no such action.
    virtual bool AssignKey(int iKeyCode, const QString& sCaption) = 0;
    virtual void SetDefaultDocument(const QString& sFileName) = 0;
    // The error report that "Set(ErrorReport; ...)" configures; none where the program has none.
    virtual TErrorReport* ErrorReport() = 0;
    // "#showdefinedoc": whether the program can show a definition document and wait for its
    // answer. Where it cannot, the directive is left out.
    virtual bool CanQueryDefines() const { return false; }
    // Shows the document sText names and waits; sText becomes the answer ("Cancelled", "Exit" or
    // the define values).
    virtual void DefineQuery(QString& sText) { sText = QStringLiteral("Cancelled"); }
    // Whether the load logs its errors and warnings as a whole once it is through; a program that
    // lists them line by line itself (a definition check) need not see them twice.
    virtual bool LogsLoadSummaries() const { return true; }
};
