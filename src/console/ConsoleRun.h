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
    TConsoleDefinitionOpener* pOpener = nullptr; // OpenTZD ends the run as Stop would
    TResultDatabase* pResults = nullptr;         // gets every complete run, when configured
};

// The operator's answers for the options: the answers file, else the console when iInputFd is a
// terminal, else none. Raises EError for an answers file that cannot be read or parsed.
TOperatorAnswers AnswersForOptions(const TRunOptions& aOptions, int iInputFd, QTextStream& aPrompt);

// Runs the loaded tree headless: creates the runner with the console host, attaches the jobs,
// starts and runs the event loop until the process has ended (with every "next" run the answers
// ask for). Returns the exit status: ciExitOk when every run passed, ciExitFailed otherwise (also
// when no run could finish: no operator name, no active node, a JUnit file that could not be
// written), ciExitUsage when an answers file was out of step with the questions (even when every
// run passed), 128 + the signal number when interrupted before the start.
int RunProcess(TTestTree& aTree, const TRunOptions& aOptions, TRunContext& aContext);
