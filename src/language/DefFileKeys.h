#pragma once

#include "language/DefFileKeyBase.h"

#include "core/CommaSeparatedValue.h"

#include <QString>

class TInterpreter;

// Base of the keyword handlers of the definition interpreter.
class TKeyBase : public TDefFileKeyBase
{
public:
    explicit TKeyBase(TInterpreter& aOwner) : FOwner(aOwner) {}

    // True when the handler has taken the line.
    virtual bool Process(const QString& sFileName, const QString& sSyntax) = 0;
    TInterpreter& Owner() const { return FOwner; }

private:
    TInterpreter& FOwner;
};

// A handler whose statements carry a parameter text in parentheses.
class TKeyWithParameter : public TKeyBase
{
public:
    using TKeyBase::TKeyBase;

protected:
    // The text inside the line's first "(" and its matching ")"; empty without the closer.
    static QString GetParameter(const QString& sLine);

    TCommaSeparatedValue fCSV;
};

class TKeyBlockBegin : public TKeyBase
{
public:
    using TKeyBase::TKeyBase;
    QString ClassName() const override { return QStringLiteral("TKeyBlockBegin"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};

class TKeyBlockEnd : public TKeyBase
{
public:
    using TKeyBase::TKeyBase;
    QString ClassName() const override { return QStringLiteral("TKeyBlockEnd"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};

class TKeySet : public TKeyWithParameter
{
public:
    using TKeyWithParameter::TKeyWithParameter;
    QString ClassName() const override { return QStringLiteral("TKeySet"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;

private:
    void DeclareVariable();
};

class TKeyTestCase : public TKeyWithParameter
{
public:
    using TKeyWithParameter::TKeyWithParameter;
    // Test cases nest at most this deep: no operator reads a deeper tree, and every node's
    // number grows with its depth.
    static constexpr int ciMaxNesting = 1000;

    QString ClassName() const override { return QStringLiteral("TKeyTestCase"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};

class TKeyDeviceCreate : public TKeyWithParameter
{
public:
    using TKeyWithParameter::TKeyWithParameter;
    QString ClassName() const override { return QStringLiteral("TKeyDeviceCreate"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};

// Device.Shared(type; name; ...): a device the station's sockets share, made once for the
// station; the session's own device when the station has one socket.
class TKeyDeviceShared : public TKeyWithParameter
{
public:
    using TKeyWithParameter::TKeyWithParameter;
    QString ClassName() const override { return QStringLiteral("TKeyDeviceShared"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};

class TKeyDeviceFunction : public TKeyWithParameter
{
public:
    using TKeyWithParameter::TKeyWithParameter;
    QString ClassName() const override { return QStringLiteral("TKeyDeviceFunction"); }
    bool Process(const QString& sFileName, const QString& sSyntax) override;
};
