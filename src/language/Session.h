#pragma once

#include "language/DefinitionLoader.h"

#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/DeviceContext.h"
#include "execution/DeviceList.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "reporting/ErrorReport.h"

#include <QString>

#include <memory>

class IInterpreterHost;
class IRunnerHost;

// How a definition load ended.
enum class ELoadOutcome
{
    Loaded,   // no errors
    Errors,   // lines failed, or the file could not be read at all (sFailure)
    Cancelled // the operator cancelled a definition document's question
};

struct TLoadReport
{
    ELoadOutcome eOutcome = ELoadOutcome::Errors;
    QString sFile;          // the definition's absolute path
    bool bRunnable = false; // loaded, or loaded with errors under "Skip Errors" with a tree to run
    QString sFailure;       // the reader's or preprocessor's error that ended the load
    QString sLoadInfos;     // "\r\nError: file, line: text" and "\r\nWarning: ..." items
    int iWarnings = 0;
    int iSkipped = 0; // lines left out, placeholders of undeclared devices included
};

// What one program window or headless run owns for the definition it has loaded: the device
// context, the variables, the value log, the devices, the test tree, the error report and the
// runner, declared in that order, so that the runner goes first and the tree before the devices its
// steps belong to. Its parts reach each other through its context only, so that several sessions
// can live side by side in one process, each with its own message channel.
class TSession
{
public:
    // aTypes: the device types its definitions may create; aSettings: the station's settings. Both
    // outlive the session; null gives the context's own (no device types, default settings).
    explicit TSession(const TDeviceTypes* aTypes = nullptr, TRegIO* aSettings = nullptr);
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    TDeviceContext& Context() { return fContext; }
    // The test socket this session serves (1 when the station has one): its context's socket, the
    // predefined name of the preprocessor and the read-only variable of the definition.
    int Socket() const { return fContext.Socket(); }
    void SetSocket(int iSocket);
    TVariableManager& Variables() { return *fVariables; }
    TValueLog& ValueLog() { return *fValueLog; }
    TDeviceList& Devices() { return *fDevices; }
    TTestTree& Tree() { return fTree; }
    TErrorReport& ErrorReport() { return fErrorReport; }

    // The runner of the session's tree, its failure report the error report; created by
    // AttachRunner with the program's face for the operator.
    TProcessRunner& AttachRunner(IRunnerHost& aHost);
    void DetachRunner();
    TProcessRunner* Runner() const { return fRunner.get(); }

    // Puts a stand-in in place of the interpreter (tests of the window).
    void SetLoaderFactory(TDefinitionLoaderFactory aFactory) { fLoaderFactory = std::move(aFactory); }

    // Releases the loaded definition: the tree first, then the devices, the value log and the
    // variables; empty ones take their place and the error report forgets the definition.
    void ReleaseDefinition();
    // Releases the loaded definition and loads sFile into the tree. A definition that cannot be run
    // is released again; a runnable one names the error report's file and is attached to the runner.
    TLoadReport Load(const QString& sFile, IInterpreterHost& aHost);

private:
    void CreateDefinitionParts();

    TDeviceContext fContext;
    std::unique_ptr<TVariableManager> fVariables;
    std::unique_ptr<TValueLog> fValueLog;
    std::unique_ptr<TDeviceList> fDevices;
    TTestTree fTree;
    TErrorReport fErrorReport;
    std::unique_ptr<TProcessRunner> fRunner;
    TDefinitionLoaderFactory fLoaderFactory;
};
