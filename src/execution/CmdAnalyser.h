#pragma once

#include "Command.h"

#include <QString>

// Base of commands that compare a measured number with a lower and an upper limit, each absolute
// or relative to a float variable read at the moment of the check, and may store the number in a
// float variable.
class TCmdAnalyser : public TCommand
{
public:
    using TCommand::TCommand;

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
    static void SplitLimit(const QString& sText, QString& sName, double& rValue);
};
