#pragma once

#include <QString>

#include <functional>
#include <memory>

class TErrorReport;
class TTestTree;

// How a definition load ended.
enum class TLoadOutcome
{
    Success, // no errors
    Errors,  // some lines failed; the partly built tree may be run under "Skip Errors"
    Cancelled
};

// What the definition interpreter asks of the main window while it builds a test process.
class IDefinitionHost
{
public:
    virtual ~IDefinitionHost() = default;

    // Set(FileInfo; label; version).
    virtual void SetFileLabel(const QString& sLabel, const QString& sVersion) = 0;
    // Set(DefaultDoc; file): true when the resolved file exists and becomes the page shown after
    // the load.
    virtual bool SetScriptDoc(const QString& aFileName, QString& aFullFileName) = 0;
    // Assigns a key (a virtual key code or an Alt sequence) to the action with that caption.
    virtual bool AssignKey(int iKeyCode, const QString& sAction) = 0;
    virtual bool SkipErrors() const = 0;
    // Shows a definition document and waits for its answer; sText is the address going in and the
    // answer ("Cancelled", "Exit" or the define values) coming out.
    virtual void DefineQuery(QString& sText) = 0;
    // Set(ErrorReport; ...) configures it.
    virtual TErrorReport& ErrorReport() = 0;
};

// One definition interpreter; the main window creates one per load and frees it when the load
// ends.
class IDefinitionLoader
{
public:
    virtual ~IDefinitionLoader() = default;

    // Reads the file with its includes and preprocesses it; raises on a reader or preprocessor
    // error.
    virtual void FileLoad(const QString& sFileName) = 0;
    // Turns the read lines into settings, devices, variables and the test tree; single line
    // problems are logged with file name and line number and give Errors.
    virtual TLoadOutcome LoadDefinition(TTestTree& aTree) = 0;
    // The lines the last LoadDefinition left out because of their errors.
    virtual int SkippedLines() const = 0;
};

using TDefinitionLoaderFactory = std::function<std::unique_ptr<IDefinitionLoader>(IDefinitionHost& aHost)>;
