#include "StationRun.h"

#include "ConsoleDocumentDisplay.h"
#include "ConsoleErrorReport.h"
#include "ConsoleIndicatorStrip.h"
#include "ConsoleLoader.h"
#include "ConsoleOperatorDialogs.h"
#include "ConsoleRunnerHost.h"
#include "ConsoleStatusLine.h"
#include "ExitStatus.h"
#include "InterruptHandler.h"
#include "JUnitWriter.h"
#include "OperatorAnswers.h"
#include "RunCommandLine.h"
#include "RunSummary.h"
#include "TerminalQuestions.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgLog.h"
#include "core/RegIO.h"
#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"
#include "language/Station.h"
#include "reporting/ErrorReport.h"
#include "reporting/results/ResultRecorder.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

// The "socket: k" line that opens a socket's section of an answers file; 0 for any other line.
int SectionSocket(const QString& sLine)
{
    static const QRegularExpression section(QStringLiteral("^\\s*socket:\\s*(\\d+)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = section.match(sLine);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// What one socket talks to the operator with: made before the station, so that it outlives the
// session whose devices may still ask while they are released. With the station's terminal its
// dialogs ask there; its other questions (the operator name, the final dialog) have no answer.
struct TSocketFace
{
    TSocketFace(QTextStream& aOut, QTextStream& aErr, int iSocket, TOperatorAnswers aAnswers,
                TTerminalQuestions* pTerminal)
        : outDevice(aOut, QStringLiteral("[%1] ").arg(iSocket)), out(&outDevice),
          errDevice(aErr, QStringLiteral("[%1] ").arg(iSocket)), err(&errDevice),
          answers(std::move(aAnswers)), dialogs(answers)
    {
        if (pTerminal)
            terminalDialogs = std::make_unique<TTerminalSocketDialogs>(*pTerminal, iSocket);
    }

    IOperatorDialogs& Dialogs()
    {
        if (terminalDialogs)
            return *terminalDialogs;
        return dialogs;
    }

    TPrefixedOutput outDevice;
    QTextStream out;
    TPrefixedOutput errDevice;
    QTextStream err;
    TOperatorAnswers answers;
    TConsoleOperatorDialogs dialogs;
    std::unique_ptr<TTerminalSocketDialogs> terminalDialogs;
};

// One socket's run: its runner's host and the observers of its runs.
struct TSocketRun
{
    int iSocket = 0;
    TSession* pSession = nullptr;
    TSocketFace* pFace = nullptr;
    QString sCaption;
    int iLoadStatus = ciExitOk;
    std::unique_ptr<TConsoleRunnerHost> host;
    std::unique_ptr<TRunSummary> summary;
    std::unique_ptr<TConsoleErrorReportView> reportView;
    std::unique_ptr<TResultRecorder> results;
    std::unique_ptr<TConsoleKeyAnswerer> keys;
    std::unique_ptr<TJUnitWriter> junit;
    int iRunsLeft = 0;
    int iRuns = 0;
    bool bAllPassed = true;
    bool bStarted = false;
    bool bDone = false;
    bool bPauseQueued = false;

    bool Loaded() const { return iLoadStatus == ciExitOk; }
    bool Passed() const { return Loaded() && iRuns > 0 && bAllPassed; }
};

// The status line's word for a socket: its outcome once done, the shared device it waits for,
// else its current step.
QString SocketState(const TSocketRun& aRun, const TSharedDevices& aShared)
{
    if (!aRun.Loaded())
        return QStringLiteral("Load");
    if (aRun.bDone)
        return aRun.Passed() ? QStringLiteral("Pass") : QStringLiteral("Fail");
    const QString sWaitsFor = aShared.WaitingFor(aRun.pSession->Context());
    if (!sWaitsFor.isEmpty())
        return QStringLiteral("waits ") + sWaitsFor;
    TProcessRunner* pRunner = aRun.pSession->Runner();
    const TTreeNode* pNode = pRunner ? pRunner->CurrentNode() : nullptr;
    if (!pNode)
        return QStringLiteral("...");
    constexpr int ciMaxStep = 24;
    return pNode->Text().left(ciMaxStep).trimmed();
}

} // namespace

QString SocketAnswersText(const QString& sText, int iSocket)
{
    QStringList slLines = sText.split(QLatin1Char('\n'));
    int iSection = 0;
    for (QString& sLine : slLines) {
        const int iOpens = SectionSocket(sLine);
        if (iOpens > 0) {
            iSection = iOpens;
            sLine.clear();
        } else if (iSection != 0 && iSection != iSocket) {
            sLine.clear();
        }
    }
    return slLines.join(QLatin1Char('\n'));
}

TPrefixedOutput::TPrefixedOutput(QTextStream& aOut, const QString& sPrefix, QObject* aParent)
    : QIODevice(aParent), fOut(aOut), fsPrefix(sPrefix)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TPrefixedOutput::readData(char* /*pData*/, qint64 /*iMaxSize*/)
{
    return -1;
}

qint64 TPrefixedOutput::writeData(const char* pData, qint64 iSize)
{
    const QString sText = QString::fromUtf8(pData, int(iSize));
    QString sPrefixed;
    for (const QChar c : sText) {
        if (fbAtLineStart)
            sPrefixed += fsPrefix;
        sPrefixed += c;
        fbAtLineStart = c == QLatin1Char('\n');
    }
    fOut << sPrefixed;
    fOut.flush();
    return iSize;
}

int RunStation(const TRunOptions& aOptions, const TDeviceTypes& aTypes, TMsgLog& aLog, QTextStream& aOut,
               QTextStream& aErr, TConsoleStatusLine* aStatus, TInterruptHandler& aInterrupt,
               TResultDatabase* aResults, int iInputFd)
{
    const int iCount = aOptions.iSockets;
    // Every socket answers from its own part of the answers file. Without one, at a terminal, the
    // sockets' dialogs ask there in turn; otherwise nobody answers.
    QString sAnswers;
    if (!aOptions.sAnswersFile.isEmpty()) {
        QFile file(aOptions.sAnswersFile);
        if (!file.open(QIODevice::ReadOnly)) {
            aErr << QStringLiteral("Cannot read the answers file \"%1\": %2")
                        .arg(aOptions.sAnswersFile, file.errorString())
                 << Qt::endl;
            return ciExitUsage;
        }
        sAnswers = QString::fromUtf8(file.readAll());
    }
    std::unique_ptr<TTerminalQuestions> terminal;
    if (aOptions.sAnswersFile.isEmpty() && iInputFd >= 0 && ::isatty(iInputFd)) {
        terminal = std::make_unique<TTerminalQuestions>(iInputFd, aErr);
        // Questions go to standard error, which shares the status line's terminal when it is one:
        // the other sockets' output then keeps the waiting question in view below it.
        if (aStatus && ::isatty(STDERR_FILENO))
            terminal->SetTerminalHooks([aStatus](const QString& sPrompt) { aStatus->SetQuestion(sPrompt); },
                                       [aStatus](bool bAtLineStart) { aStatus->QuestionGone(bAtLineStart); });
    }
    std::vector<std::unique_ptr<TSocketFace>> faces;
    for (int i = 1; i <= iCount; ++i) {
        TOperatorAnswers answers;
        if (!aOptions.sAnswersFile.isEmpty()) {
            try {
                answers = TOperatorAnswers::FromText(SocketAnswersText(sAnswers, i), aOptions.sAnswersFile);
            } catch (const std::exception& e) {
                aErr << ExceptionText(e) << Qt::endl;
                return ciExitUsage;
            }
        }
        faces.push_back(std::make_unique<TSocketFace>(aOut, aErr, i, std::move(answers), terminal.get()));
    }
    TConsoleIndicatorStrip indicators;
    TConsoleDocumentDisplay documents;

    TStation station(iCount, &aTypes, &TRegIO::Instance());
    std::map<const void*, QString> labels;
    for (int i = 1; i <= iCount; ++i)
        labels[&station.Session(i).Context().Msg()] = QStringLiteral("[%1] ").arg(i);
    aLog.SetSourceLabel([&labels](const void* aSender) {
        const auto it = labels.find(aSender);
        return it == labels.end() ? QString() : it->second;
    });

    std::vector<TSocketRun> runs;
    runs.resize(std::size_t(iCount));
    for (int i = 1; i <= iCount; ++i) {
        TSocketRun& run = runs[std::size_t(i - 1)];
        TSocketFace& face = *faces[std::size_t(i - 1)];
        TSession& session = station.Session(i);
        run.iSocket = i;
        run.pSession = &session;
        run.pFace = &face;
        session.Context().SetDialogs(&face.Dialogs());
        session.Context().SetIndicators(&indicators);
        session.Context().SetDocuments(&documents);
        TConsoleLoader loader(session, aOptions.bSkipErrors);
        const TLoadReport report = loader.Load(aOptions.sFile, face.err);
        run.sCaption = loader.FileLabel();
        run.iLoadStatus = LoadExitStatus(report);
        if (run.iLoadStatus == ciExitOk && report.iWarnings > 0 && aOptions.bWError) {
            face.err << QStringLiteral("%1: %2 warning(s) treated as errors")
                            .arg(aOptions.sFile)
                            .arg(report.iWarnings)
                     << Qt::endl;
            run.iLoadStatus = ciExitLoadError;
        }
        if (!run.Loaded())
            continue;
        station.Loaded(i);

        run.host = std::make_unique<TConsoleRunnerHost>(face.answers, face.out, &aLog);
        run.host->SetCaption(run.sCaption);
        if (aOptions.sOperator)
            run.host->SetOperatorName(*aOptions.sOperator);
        run.iRunsLeft = aOptions.iRuns;
        run.host->SetRunsLeft(aOptions.iRuns > 0 ? &run.iRunsLeft : nullptr);
        TTestTree& tree = session.Tree();
        run.host->SetCanStart([&tree] { return TJob::AnyEnabled(tree); });
        TProcessRunner& runner = station.AttachRunner(i, *run.host);
        runner.SetSkippedAtLoad(report.iSkipped);
        run.summary = std::make_unique<TRunSummary>(runner, tree);
        run.host->SetSummary(run.summary.get());
        run.reportView = std::make_unique<TConsoleErrorReportView>(face.answers, face.out);
        session.ErrorReport().SetView(run.reportView.get());
        if (aResults)
            run.results = std::make_unique<TResultRecorder>(runner, *aResults, session.ErrorReport());
        run.keys = std::make_unique<TConsoleKeyAnswerer>(runner, face.answers, face.out);
        if (!aOptions.sJUnitFile.isEmpty()) {
            QString sSuite = run.sCaption;
            if (sSuite.isEmpty())
                sSuite = QFileInfo(aOptions.sFile).completeBaseName();
            run.junit = std::make_unique<TJUnitWriter>(runner, tree, aOptions.sJUnitFile,
                                                       QStringLiteral("%1 [socket %2]").arg(sSuite).arg(i));
        }
        QObject::connect(&runner, &TProcessRunner::ProcessFinished, [&run](bool bPassed) {
            ++run.iRuns;
            run.bAllPassed = run.bAllPassed && bPassed;
        });
        face.answers.SetFailureQuery(
            [&run, &runner] { return !run.bAllPassed || runner.JobFailureCounter() > 0; });
    }

    // One JUnit file for the station: a test suite per socket (and per run).
    std::vector<TJUnitWriter*> junitWriters;
    for (TSocketRun& run : runs)
        if (run.junit)
            junitWriters.push_back(run.junit.get());
    QString sJUnitName = QFileInfo(aOptions.sFile).completeBaseName();
    for (TJUnitWriter* pWriter : junitWriters)
        pWriter->SetCombinedWrite([&junitWriters, &aOptions, sJUnitName](QString& sError) {
            return TJUnitWriter::WriteCombined(junitWriters, aOptions.sJUnitFile, sJUnitName, sError);
        });

    QEventLoop loop;
    const auto QuitWhenAllDone = [&] {
        for (const TSocketRun& run : runs)
            if (run.Loaded() && !run.bDone)
                return;
        loop.quit();
    };
    for (TSocketRun& run : runs) {
        if (!run.Loaded())
            continue;
        TProcessRunner& runner = *run.pSession->Runner();
        TTestTree& tree = run.pSession->Tree();
        const auto End = [&run, &QuitWhenAllDone](bool bFailed) {
            if (run.bDone)
                return;
            run.bAllPassed = run.bAllPassed && !bFailed;
            run.bDone = true;
            QTimer::singleShot(0, QuitWhenAllDone);
        };
        QObject::connect(&runner, &TProcessRunner::ActionsChanged, &loop, [&run, &runner, &tree, End, &loop] {
            if (!run.bStarted || run.bDone)
                return;
            const EProcessState eState = runner.ProcessState();
            if (eState == EProcessState::NothingToRun || eState == EProcessState::Ready) {
                End(false);
            } else if (eState == EProcessState::RunningFromStart && run.host->NothingToStart()) {
                End(true);
            } else if (eState == EProcessState::Paused && !run.bPauseQueued) {
                run.bPauseQueued = true;
                QTimer::singleShot(0, &loop, [&run, &runner, &tree, End] {
                    run.bPauseQueued = false;
                    if (runner.ProcessState() != EProcessState::Paused)
                        return;
                    TTreeNode* pNext =
                        runner.CurrentNode() ? TJob::NextEnabled(tree, runner.CurrentNode()) : nullptr;
                    if (!pNext) {
                        runner.Context().Msg().Warning(
                            QStringLiteral("Process paused after the last test: the headless run ends here"));
                        ++run.iRuns;
                        End(runner.JobFailureCounter() != 0);
                        return;
                    }
                    run.host->SelectNode(pNext);
                    runner.Continue();
                });
            }
        });
        runner.AttachJobs();
        runner.SetProcessState(EProcessState::Ready);
    }
    // Ctrl+C first ends the questions at the terminal, as it ends a single socket's question.
    if (terminal)
        QObject::connect(&aInterrupt, &TInterruptHandler::Interrupted, terminal.get(),
                         [&terminal](int) { terminal->Interrupt(); });
    QObject::connect(&aInterrupt, &TInterruptHandler::Interrupted, &loop, [&](int) {
        TMsg::Warning(QStringLiteral("Interrupted: stopping every socket (interrupt again to end at once)"));
        station.StopAll();
    });

    std::function<QString()> statusText = [&runs, &station] {
        QStringList slParts;
        for (const TSocketRun& run : runs)
            slParts.append(
                QStringLiteral("%1:%2").arg(run.iSocket).arg(SocketState(run, station.SharedDevices())));
        return slParts.join(QLatin1Char(' '));
    };
    if (aStatus)
        aStatus->AttachText(statusText);

    // All sockets start together, in one turn of the event loop.
    QTimer::singleShot(0, &loop, [&] {
        for (TSocketRun& run : runs) {
            if (!run.Loaded())
                continue;
            TProcessRunner& runner = *run.pSession->Runner();
            run.bStarted = true;
            runner.Start();
            if (runner.ProcessState() == EProcessState::RunningFromStart && !runner.CurrentNode()) {
                run.bAllPassed = false;
                run.bDone = true;
            }
        }
        QuitWhenAllDone();
    });
    bool bAnyLoaded = false;
    for (const TSocketRun& run : runs)
        bAnyLoaded = bAnyLoaded || run.Loaded();
    if (bAnyLoaded)
        loop.exec();
    if (aStatus)
        aStatus->Detach();

    int iPassed = 0;
    int iStatus = ciExitOk;
    bool bJUnitRuns = false;
    bool bJUnitFailed = false;
    for (const TSocketRun& run : runs) {
        bJUnitRuns = bJUnitRuns || (run.junit && run.iRuns > 0);
        bJUnitFailed = bJUnitFailed || (run.junit && run.junit->WriteFailed());
    }
    if (bJUnitRuns && !bJUnitFailed && !junitWriters.front()->Write()) {
        TMsg::Error(QStringLiteral("JUnit report not written: %s"), {junitWriters.front()->LastError()});
        bJUnitFailed = true;
    }
    for (TSocketRun& run : runs) {
        QString sOutcome;
        if (!run.Loaded())
            sOutcome = QStringLiteral("not loaded");
        else
            sOutcome = run.Passed() ? QStringLiteral("passed") : QStringLiteral("failed");
        aOut << QStringLiteral("Socket %1: %2").arg(run.iSocket).arg(sOutcome) << '\n';
        if (run.Passed())
            ++iPassed;
        else if (iStatus == ciExitOk)
            iStatus = run.Loaded() ? ciExitFailed : run.iLoadStatus;
    }
    aOut << QStringLiteral("Sockets: %1 passed, %2 failed").arg(iPassed).arg(iCount - iPassed) << Qt::endl;
    if (bJUnitFailed && iStatus == ciExitOk)
        iStatus = ciExitFailed;

    for (TSocketRun& run : runs) {
        if (!run.Loaded())
            continue;
        run.pFace->answers.SetFailureQuery(nullptr);
        run.pSession->ErrorReport().SetView(nullptr);
        run.junit.reset();
        run.keys.reset();
        run.results.reset();
        run.summary.reset();
        run.pSession->DetachRunner();
        run.host.reset();
    }
    aLog.SetSourceLabel(nullptr);
    return iStatus;
}
