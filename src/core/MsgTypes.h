#pragma once

#include <cstdint>

// Message types in ascending severity; the dispatcher's level filter relies on the order.
enum TMsgTypeId : std::uint8_t
{
    eNone = 0,
    eDebug,
    eTrace,
    eInfo,
    eHint,
    eWarning,
    eError,
    eFatal
};

// A 32-bit message identifier, read as one number or as four bytes (least significant first):
// Param (raise site), MethodeNo (routine), UnitNo (module) and TypeNo (message type while the
// identifier travels through the dispatcher). Identifiers written in code are 24-bit: 0xUUMMPP.
struct TMsgId
{
    std::uint32_t Value = 0;

    constexpr TMsgId() = default;
    // Explicit, so that a braced format list such as {5} never turns into an identifier.
    explicit constexpr TMsgId(std::uint32_t aValue) : Value(aValue) {}

    constexpr std::uint8_t Param() const { return static_cast<std::uint8_t>(Value & 0xFFu); }
    constexpr std::uint8_t MethodeNo() const { return static_cast<std::uint8_t>((Value >> 8) & 0xFFu); }
    constexpr std::uint8_t UnitNo() const { return static_cast<std::uint8_t>((Value >> 16) & 0xFFu); }
    constexpr std::uint8_t TypeNo() const { return static_cast<std::uint8_t>((Value >> 24) & 0xFFu); }

    // The identifier with its TypeNo byte replaced by aType.
    constexpr TMsgId WithType(TMsgTypeId aType) const
    {
        return TMsgId((Value & 0x00FFFFFFu) | (static_cast<std::uint32_t>(aType) << 24));
    }

    static constexpr TMsgId FromBytes(std::uint8_t aType, std::uint8_t aUnit, std::uint8_t aMethode,
                                      std::uint8_t aParam)
    {
        return TMsgId((std::uint32_t(aType) << 24) | (std::uint32_t(aUnit) << 16) |
                      (std::uint32_t(aMethode) << 8) | std::uint32_t(aParam));
    }

    friend constexpr bool operator==(TMsgId a, TMsgId b) { return a.Value == b.Value; }
    friend constexpr bool operator!=(TMsgId a, TMsgId b) { return a.Value != b.Value; }
};

// TypeNo 0x99 in an EMsg identifier marks a definition error that is only a warning.
constexpr std::uint8_t cMsgTypeWarningMark = 0x99;
