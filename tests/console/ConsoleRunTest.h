#pragma once

#include "ConsoleTestSupport.h"
#include "TestContext.h"

#include "console/ConsoleLogPrinter.h"
#include "console/ConsoleRun.h"
#include "console/OperatorAnswers.h"
#include "console/RunCommandLine.h"
#include "core/MsgClasses.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"

#include <QTextStream>
#include <QTime>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

// Both ends of a pipe, closed with the object: a stand-in for the terminal.
class TPipe
{
public:
    TPipe()
    {
        if (::pipe(fds) != 0)
            ADD_FAILURE() << "pipe failed";
    }
    ~TPipe()
    {
        CloseWrite();
        ::close(fds[0]);
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;

    int ReadFd() const { return fds[0]; }
    void Write(const char* sText)
    {
        const std::size_t iLength = std::strlen(sText);
        EXPECT_EQ(::write(fds[1], sText, iLength), ssize_t(iLength));
    }
    void CloseWrite()
    {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }

private:
    int fds[2] = {-1, -1};
};

// Headless runs of trees built in code, with the console's output captured.
class ConsoleRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fLog.SetClock([] { return QTime(12, 0); });
        fLog.Attach();
        TRegIO::Instance().SetEndOnFailure(true);
        fOptions.sFile = QStringLiteral("/defs/board.TZD");
    }
    void TearDown() override
    {
        fLog.Detach();
        TValueLog::InstanceRelease();
        TVariableManager::InstanceRelease();
        TRegIO::InstanceRelease();
        TMsgClass::ReleaseSingleton();
    }

    static TOperatorAnswers Answers(const char* sText)
    {
        return TOperatorAnswers::FromText(QString::fromUtf8(sText), QStringLiteral("answers"));
    }

    int Run(TTreeBuilder& aBuilder, TOperatorAnswers aAnswers,
            std::optional<QString> sOperator = QStringLiteral("op1"))
    {
        fOutStream.flush();
        fsOut.clear();
        fOptions.sOperator = std::move(sOperator);
        fAnswers = std::move(aAnswers);
        TRunContext context{fOutStream, fAnswers, &fLog, fpReport, fpInterrupt, fsCaption};
        context.pDevices = &TestContext();
        return AnswersExitStatus(context, RunProcess(aBuilder.fTree, fOptions, context));
    }
    int Run(TOperatorAnswers aAnswers = TOperatorAnswers(),
            std::optional<QString> sOperator = QStringLiteral("op1"))
    {
        return Run(fBuilder, std::move(aAnswers), std::move(sOperator));
    }

    QString Out()
    {
        fOutStream.flush();
        return fsOut;
    }

    QString fsOut;
    QTextStream fOutStream{&fsOut};
    TMsgLog fLog;
    TConsoleLogPrinter fPrinter{fLog, fOutStream};
    TTreeBuilder fBuilder;
    TOperatorAnswers fAnswers;
    TRunOptions fOptions;
    TErrorReport* fpReport = nullptr;
    TInterruptHandler* fpInterrupt = nullptr;
    QString fsCaption;
};
