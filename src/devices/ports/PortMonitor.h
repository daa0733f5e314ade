#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace ports {

// The traffic monitor a port can be given with "Monitor.Initialize". Until the monitor proper
// exists this one accepts every configuration and ignores the traffic, so that definitions that
// name a monitor load and run.
class TPortMonitor
{
public:
    virtual ~TPortMonitor() = default;

    // aConfig: the line's values split at ";" (value 1 is the monitor type). True when usable.
    virtual bool Init(const QStringList& aConfig);
    virtual void Open() {}
    virtual void Close() {}
    // Sent (bSent) or received bytes of the port, in the order they are traced.
    virtual void Display(const QByteArray& /*aData*/, bool /*bSent*/) {}

    // Text the monitor wants sent through the port.
    std::function<void(const QString& sText)> OnInject;
};

} // namespace ports
