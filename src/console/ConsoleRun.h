#pragma once

#include <QString>

class QTextStream;
class TErrorReport;
class TInterruptHandler;
class TMsgLog;
class TConsoleDefinitionOpener;
class TConsoleStatusLine;
class TOperatorAnswers;
class TResultDatabase;
class TTestTree;
struct TRunOptions;

// What a headless run works with besides the loaded tree.
class TDeviceContext;

struct TRunContext
{
    QTextStream& aOut;
    TOperatorAnswers& aAnswers;
    TMsgLog* pLog = nullptr;                     // gets the separator line of every start
    TErrorReport* pErrorReport = nullptr;        // the definition's error report, if any
    TInterruptHandler* pInterrupt = nullptr;     // Ctrl+C stops the run
    QString sCaption;                            // the definition's file label
    TConsoleStatusLine* pStatus = nullptr;       // the live status line, at a terminal only
    int iSkippedAtLoad = 0;                      // lines the load skipped ("Skip Errors")
    TConsoleDefinitionOpener* pOpener = nullptr; // OpenTZD hands over to another definition
    TResultDatabase* pResults = nullptr;         // gets every complete run, when configured
    QString sOperatorName = {};                  // the program's operator: kept across hand-overs
    int* piRunsLeft = nullptr;                   // --runs: the runs still to do, for all definitions
    TDeviceContext* pDevices = nullptr;          // the session the tree belongs to
};

// The operator's answers for the options: the answers file, else the console when iInputFd is a
// terminal, else none. Raises EError for an answers file that cannot be read or parsed.
TOperatorAnswers AnswersForOptions(const TRunOptions& aOptions, int iInputFd, QTextStream& aPrompt);

// Runs the loaded tree headless: creates the runner with the console host, attaches the jobs,
// starts and runs the event loop until the process has ended (with every "next" run the answers
// ask for). Returns the exit status: ciExitOk when every run passed, ciExitFailed otherwise (also
// when no run could finish: no operator name, no active node, a JUnit file that could not be
// written), 128 + the signal number when interrupted before the start. The answers are checked by
// the caller with AnswersExitStatus once no definition follows.
// An OpenTZD step ends the event loop at once: the run is left as it stands, without its final
// cases, final dialog or value-log line, and the answers are kept for the next definition.
int RunProcess(TTestTree& aTree, const TRunOptions& aOptions, TRunContext& aContext);

// The exit status once the program's last run has ended: iStatus, or ciExitUsage when the answers
// file was out of step with the questions or left answers over while every run passed. After a
// failed run the questions behind the failure may have been skipped: answers that were not taken
// are then only noted.
int AnswersExitStatus(const TRunContext& aContext, int iStatus);
