#pragma once

#include <QString>

class TErrorReport;

// What the keyword pass needs of the program that loads a definition: its options, the error
// report, and the settings that belong to the main window (file label, key assignments, default
// document).
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
};
