#pragma once

#include "FakeOperatorDialogs.h"
#include "FakeRunnerHost.h"
#include "TestContext.h"
#include "TestEnvironment.h"

#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "language/InterpreterHost.h"
#include "language/Session.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

class TJob;

// Device tests through the real load path: a session whose devices ask a scripted operator and
// whose runner reports to a fake host; a definition text is loaded from a file in the test's own
// folder and run until its final dialog. System Control is registered; a family registers its own
// device types in its fixture's constructor or SetUp.
class TDeviceFixture : public ::testing::Test, public IInterpreterHost
{
protected:
    TDeviceFixture();
    ~TDeviceFixture() override;

    // Writes sText to "test.TZD" in the test's folder and loads it.
    TLoadReport Load(const QString& sText);
    // Loads sText; a load that cannot be run fails the test with its load information.
    bool LoadOk(const QString& sText);
    // The errors of loading sText, each as "line: text" (the error of a file that could not be read
    // at all as its text alone); empty when it loaded without errors.
    QStringList LoadErrors(const QString& sText);
    // The error of loading a definition with one System Control device "Sys", the devices declared
    // in sDevices (lines) and one test case holding sLine: a table of bad lines needs no more.
    QString LineError(const QString& sLine, const QString& sDevices = QString());

    // Runs the loaded process from the start until its final dialog; false when it did not end
    // within iTimeoutMs.
    bool Run(int iTimeoutMs = 20000);
    // Whether the last run's final dialog said passed.
    bool Passed() const;
    // The first step (or case) with that label in tree order; null when there is none.
    TJob* Step(const QString& sLabel);
    // Whether a line of the message log ends with sText.
    bool Logged(const QString& sText) const;
    // The message log, one line each, for failure messages.
    QString LogText() const;

    // IInterpreterHost
    bool SkipErrors() const override { return fbSkipErrors; }
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override;
    bool AssignKey(int, const QString&) override { return true; }
    void SetDefaultDocument(const QString&) override {}
    TErrorReport* ErrorReport() override { return &fSession.ErrorReport(); }

    TTestDir fDir;
    TMsgLog fLog;
    TFakeOperatorDialogs fOperator;
    TFakeRunnerHost fHost;
    TSession fSession{&TestDeviceTypes(), &TRegIO::Instance()};
    bool fbSkipErrors = false;
    QString fsFileLabel;
};
