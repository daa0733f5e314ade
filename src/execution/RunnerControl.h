#pragma once

#include <QString>

#include <functional>

class IFailureReport;

// A key offered to the command that waits for one (a Qt::Key code); true when the key was
// consumed. ciKeyNoAnswer tells the waiting command that nobody can answer (a headless run without
// answers): it concludes failed with the error "No operator answer available".
using TKeyContinueEvent = std::function<bool(int iKey)>;
constexpr int ciKeyNoAnswer = -1;

// What commands may steer of the run they belong to: jumps, test-case status, the failure policy,
// the error report and the key a step waits for. The process runner implements it; device tests
// put a fake in its place.
class IRunnerControl
{
public:
    virtual ~IRunnerControl() = default;

    virtual IFailureReport* FailureReport() const = 0;
    virtual const QString& OperatorName() const = 0;

    // The enabled test case or node the next step jumps to; false when there is none.
    virtual bool SetGotoCase(const QString& aName) = 0;
    // Enables or disables a test case; false when there is none of that name.
    virtual bool SetTestCaseStatus(const QString& aName, bool aEnabled) = 0;
    // The run goes to its final cases after the current step.
    virtual void SetExitAfterFailure() = 0;
    // The failure policy of the run's session: end the run after a failed test case, or go on.
    virtual void SetEndOnFailure(bool bEnd) = 0;

    // The key hook: at most one waiting command holds it.
    virtual void SetOnKeyContinue(TKeyContinueEvent aEvent) = 0;
    virtual void ClearOnKeyContinue() = 0;
};
