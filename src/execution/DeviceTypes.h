#pragma once

#include "FunctionInfo.h"

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

    // What the about box shows of a type, known without making a device.
    struct TTypeInfo
    {
        QString sName;
        QString sVersion;
    };

    // Enters a type (compared case-sensitively) with its display name and version, its creator,
    // its functions in the order its devices enter them and the class name of its devices' debug
    // line "<class>.Init: <definition>" (null: none); a keyword entered again gets the new data and
    // keeps its place.
    void Register(const QString& sKeyword, const QString& sName, const QString& sVersion,
                  TDeviceCreator aCreator, std::vector<TFunctionInfo> aFunctions,
                  const char* sInitTrace = nullptr);
    void Unregister(const QString& sKeyword);
    // The creator of sKeyword's devices, or null when no type has that keyword.
    const TDeviceCreator* Creator(const QString& sKeyword) const;
    // Makes a device of sKeyword's type named sName and has it read its Device.Create line
    // sDefinition, after the type's debug line (built only when a sink of aContext shows debug
    // lines). Null for an unknown type; an error of the line passes on and the device goes.
    std::unique_ptr<TDevice> Make(const QString& sKeyword, const QString& sName, const QString& sDefinition,
                                  TDeviceContext& aContext) const;
    // The keywords, in registration order.
    QStringList Names() const;
    // The registered name and version of sKeyword's type, or null for an unknown type.
    const TTypeInfo* TypeInfo(const QString& sKeyword) const;
    // Name and version of every type, in registration order (the about box lists them).
    std::vector<std::pair<QString, QString>> Info() const;
    // The function names of a type, from its registration (an editor's completion); empty for an
    // unknown type.
    QStringList Functions(const QString& sKeyword) const;
    // The registered function sFunction of sKeyword's type, or null.
    const TFunctionInfo* Function(const QString& sKeyword, const QString& sFunction) const;

private:
    struct TType
    {
        QString sKeyword;
        TTypeInfo Info;
        TDeviceCreator Creator;
        std::vector<TFunctionInfo> Functions;
        const char* sInitTrace;
    };
    const TType* Find(const QString& sKeyword) const;

    std::vector<TType> fTypes;
};
