#pragma once

#include "Command.h"
#include "Device.h"

#include <type_traits>

// A command of one device type: Device() is its owner as that type, so that the command's code
// never casts its owner. TBase is the command base it extends (TCommand, TAsyncCommand,
// TCmdAnalyser, or a family's own base) and keeps its constructors.
template <class TOwnerDevice, class TBase = TCommand>
class TCommandOf : public TBase
{
    static_assert(std::is_base_of_v<TDevice, TOwnerDevice>, "the owner is a device");
    static_assert(std::is_base_of_v<TCommand, TBase>, "the base is a command");

public:
    using TBase::TBase;

    // The owner as the device type the command was written for; the device's function table
    // makes the command for that type only.
    TOwnerDevice& Device() const { return static_cast<TOwnerDevice&>(*this->Owner()); }
};
