#pragma once

#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>

namespace ports {

// A parsed JSON response and the few things the JSON port functions ask of it. Nothing here
// raises: invalid text is no value, a missing path is no value, a failed conversion is nullopt.
class TJsonValue
{
public:
    // The value of sText; nullopt when it is not complete, valid JSON.
    static std::optional<TJsonValue> Parse(const QString& sText);

    // The value at a dotted path with [index] for array elements ("nested.items[1]"); the empty
    // path is the whole value.
    std::optional<TJsonValue> Find(const QString& sPath) const;

    // A number, or a string holding one. Integers keep all 64 bits.
    std::optional<std::int64_t> ToInteger() const;
    std::optional<double> ToFloat() const;
    // A string without its quotes, a number, true or false; null is the empty text. Objects and
    // arrays have no text.
    std::optional<QString> ToText() const;

private:
    explicit TJsonValue(QJsonValue aValue) : fValue(std::move(aValue)) {}

    QJsonValue fValue;
};

} // namespace ports
