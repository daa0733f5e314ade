#pragma once

#include "AsyncCommand.h"
#include "Command.h"

#include <QString>

// The lower and upper limit of a measured number, each absolute or relative to a float variable
// read at the moment of the check, and the float variable the number may be stored in.
class TAnalyserLimits
{
public:
    // The variables of limits and results are aContext's.
    explicit TAnalyserLimits(TDeviceContext& aContext) : fLimitContext(aContext) {}

    // "U_REF+0.5": variable U_REF plus 0.5; "-1.25": absolute; "U_REF": the variable's value.
    void SetMinValue(const QString& sText);
    void SetMaxValue(const QString& sText);
    void SetVariableName(const QString& sName);
    double MinValue() const;
    double MaxValue() const;
    void StoreResult(double rValue) const;

protected:
    QString fsMinOffset;
    double frMinValue = 0.0;
    QString fsMaxOffset;
    double frMaxValue = 0.0;
    QString fsVariableName;

private:
    void SplitLimit(const QString& sText, QString& sName, double& rValue) const;

    TDeviceContext& fLimitContext;
};

// Base of commands that compare a measured number with the limits and conclude in Execute.
class TCmdAnalyser : public TCommand, public TAnalyserLimits
{
public:
    explicit TCmdAnalyser(TDevice* aOwner);
};

// The same for commands that wait for their number and conclude later.
class TAsyncAnalyser : public TAsyncCommand, public TAnalyserLimits
{
public:
    explicit TAsyncAnalyser(TDevice* aOwner);
};
