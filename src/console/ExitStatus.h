#pragma once

#include "language/DefFilePreprocess.h"
#include "language/Session.h"

// Exit statuses of the headless runner, besides ciExitOk, ciExitLoadError and ciExitUsage.
constexpr int ciExitFailed = 1;
constexpr int ciExitLoadCancelled = 3;
// A second interrupt ends the program at once with 128 + the signal number, as shells report it.
constexpr int ciExitInterruptBase = 128;

// The status of a finished headless run: passed only when every run passed.
constexpr int RunExitStatus(bool bAllPassed)
{
    return bAllPassed ? ciExitOk : ciExitFailed;
}

// The status for the outcome of loading a definition: a definition that can be run (with errors
// under "Skip Errors") loaded.
inline int LoadExitStatus(const TLoadReport& aReport)
{
    if (aReport.bRunnable)
        return ciExitOk;
    return aReport.eOutcome == ELoadOutcome::Cancelled ? ciExitLoadCancelled : ciExitLoadError;
}

// The exit statuses as the help text lists them.
inline const char* ExitStatusHelp()
{
    return "Exit status: 0 passed, 1 failed, 2 load error, 3 load cancelled, 4 wrong usage\n"
           "(also answers out of step with the run), 130 ended by a second Ctrl+C.";
}
