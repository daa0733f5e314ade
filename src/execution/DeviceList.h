#pragma once

#include "Device.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The registry of declared devices, created on first use and released before every load.
class TDeviceList
{
public:
    using TDeviceCreator = std::function<std::unique_ptr<TDevice>(TDeviceContext& aContext)>;

    TDeviceList() = default;
    ~TDeviceList();
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    // The loaded definition's (the session's) instance, else one made on first use, which
    // InstanceRelease releases (tests of single units work without a session).
    static TDeviceList& Instance();
    static void InstanceRelease();
    // Makes aList the instance Instance() returns (null: back to the one made on first use);
    // returns the one installed before.
    static TDeviceList* SetInstance(TDeviceList* aList);

    // Device types by their Device.Create keyword (compared case-sensitively, tried in the order
    // they were registered).
    static void RegisterType(const QString& sKeyword, TDeviceCreator aCreator);
    // The context every device is created with: the one the program set, else an empty one (no
    // runner, no operator, the platform's own parts).
    static TDeviceContext& Context();
    // Returns the context installed before.
    static TDeviceContext* SetContext(TDeviceContext* aContext);
    static void UnregisterType(const QString& sKeyword);
    // Name and version of every registered device type, from a transient device of each (the
    // about box lists them).
    static std::vector<std::pair<QString, QString>> TypeInfo();
    // The Device.Create keywords of the registered types, in registration order.
    static QStringList TypeNames();
    // The function names of a registered type, from a transient device made with aContext (an
    // editor's completion); empty for an unknown type.
    static QStringList TypeFunctions(const QString& sKeyword, TDeviceContext& aContext);

    // Creates, initialises and registers a device from the parameter text of a Device.Create line.
    TDevice* Append(const QString& sDefinition);
    TDevice* Device(const QString& sName) const;
    int Count() const { return int(fDeviceList.size()); }
    // Releases and destroys every device, the last declared first.
    void Clear();

    // Tells every device that a run starts or has ended.
    void RunStarted();
    void RunEnded();

private:
    static void CallHook(TDevice& aDevice, void (TDevice::*aHook)());

    std::vector<std::pair<QString, std::unique_ptr<TDevice>>> fDeviceList;
};
