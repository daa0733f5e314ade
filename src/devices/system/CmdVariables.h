#pragma once

#include "execution/Command.h"

namespace sys {

// Commands that move values between the definition, the variables and the value log, and compute
// with the expression evaluator. Each concludes before Execute returns.

// Puts a text, with variable values inserted, into the value-log column named in the label field.
class TCmdAssignValueLog : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsValue;
};

// Assigns a text, with variable values inserted, to a declared variable of any type.
class TCmdAssignVariable : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

protected:
    // The class name that prefixes the debug lines.
    virtual const char* ClassName() const { return "TCmdAssignVariable"; }
    // The text to assign, from the value with variable values inserted.
    virtual QString ValueText(const QString& sInserted) const { return sInserted; }
    virtual void Updated(const QString& sText);
    virtual void UpdateFailed(const QString& sText) { static_cast<void>(sText); }

    QString fsValue;
    QString fsVariableName;
};

// AssignVariable whose text goes through the escape tags, so that control characters can be assigned.
class TCmdAssignVariableEx : public TCmdAssignVariable
{
public:
    using TCmdAssignVariable::TCmdAssignVariable;

protected:
    const char* ClassName() const override { return "TCmdAssignVariableEx"; }
    QString ValueText(const QString& sInserted) const override;
    void Updated(const QString& sText) override;
    void UpdateFailed(const QString& sText) override;
};

// Assigns one of two texts to a variable, chosen by a condition.
class TCmdAssignVarConditionally : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsCondition;
    QString fsTrueValue;
    QString fsFalseValue;
    QString fsVariableName;
};

// Formats variable A with a format text into the string variable B.
class TCmdVarToVarBase : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;

protected:
    virtual const char* ClassName() const = 0;
    // Raises when variable A does not suit the command.
    virtual void CheckSource() const = 0;

    QString fsVarNameA;
    QString fsVarNameB;
    QString fsFormat;
};

class TCmdIntToStr : public TCmdVarToVarBase
{
public:
    using TCmdVarToVarBase::TCmdVarToVarBase;
    void Execute(const QString& sParameter) override;

protected:
    const char* ClassName() const override { return "TCmdIntToStr"; }
    void CheckSource() const override;
};

class TCmdStrToStr : public TCmdVarToVarBase
{
public:
    using TCmdVarToVarBase::TCmdVarToVarBase;
    void Execute(const QString& sParameter) override;

protected:
    const char* ClassName() const override { return "TCmdStrToStr"; }
    void CheckSource() const override;
};

// Computes a term and stores the result in the form of the variable's type.
class TCmdCalculate : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    // Stores rValue into the variable; raises when it cannot take it.
    void Store(double rValue) const;

    QString fsTerm;
    QString fsVariableName;
};

// A test step that passes exactly when a condition holds.
class TCmdEvaluate : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsTerm;
};

} // namespace sys
