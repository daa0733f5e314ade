#pragma once

#include "MsgTypes.h"
#include "MsgUtils.h"

#include <QByteArray>
#include <QString>

#include <exception>

// Base of the system's own exceptions: a human-readable message text.
class EError : public std::exception
{
public:
    explicit EError(const QString& aMessage);

    const QString& Message() const { return FsMessage; }
    const char* what() const noexcept override { return FaMessageUtf8.constData(); }

protected:
    void SetMessage(const QString& aMessage);

private:
    QString FsMessage;
    QByteArray FaMessageUtf8;
};

// A text that does not convert to a number, or a format that does not fit its arguments.
class EConvertError : public EError
{
public:
    using EError::EError;
};

// The operator cancelled or abandoned an operation (a definition document query, for example).
class EOperationCancelled : public EError
{
public:
    using EError::EError;
};

// An error that aborts an operation, traceable by its identifier: the message text is the text,
// CR LF and "ID: %.6x:%d", or only "%.6x:%d" when there is no text.
class EMsg : public EError
{
public:
    EMsg(TMsgId aId, int aValue);
    EMsg(TMsgId aId, int aParam, int aValue);
    EMsg(const QString& aText, TMsgId aId, int aValue);
    EMsg(const QString& aText, TMsgId aId, int aParam, int aValue);
    EMsg(const QString& aText, TFormatArgs aArgs, TMsgId aId, int aParam, int aValue);
    EMsg(const QString& aText, TFormatArgs aArgs, TMsgId aId, int aValue);

    TMsgId Id() const { return FId; }
    int Value() const { return FiValue; }
    const QString& Text() const { return FsText; }

    // "%.6x:%d" of identifier and value.
    QString MsgNo() const;

private:
    static TMsgId AddParam(TMsgId aId, int aParam);
    void Compose();

    TMsgId FId;
    int FiValue;
    QString FsText;
};

// The message text of any exception: EError's own text, otherwise what() as UTF-8.
QString ExceptionText(const std::exception& aError);
