#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TDevice;
class TDeviceContext;

// The device types a program knows, by their Device.Create keyword: each program fills one at
// start-up from the device families built into it and gives it to its sessions; tests fill their
// own with the types they need.
class TDeviceTypes
{
public:
    using TDeviceCreator = std::function<std::unique_ptr<TDevice>(TDeviceContext& aContext)>;

    TDeviceTypes() = default;
    TDeviceTypes(const TDeviceTypes&) = delete;
    TDeviceTypes& operator=(const TDeviceTypes&) = delete;

    // Enters a type (compared case-sensitively); a keyword entered again gets the new creator and
    // keeps its place.
    void Register(const QString& sKeyword, TDeviceCreator aCreator);
    void Unregister(const QString& sKeyword);
    // The creator of sKeyword's devices, or null when no type has that keyword.
    const TDeviceCreator* Creator(const QString& sKeyword) const;
    // The keywords, in registration order.
    QStringList Names() const;
    // Name and version of every type, from a transient device of each (the about box lists them).
    std::vector<std::pair<QString, QString>> Info() const;
    // The function names of a type, from a transient device made with aContext (an editor's
    // completion); empty for an unknown type.
    QStringList Functions(const QString& sKeyword, TDeviceContext& aContext) const;

private:
    std::vector<std::pair<QString, TDeviceCreator>> fTypes;
};
