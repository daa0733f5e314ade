#include "JsonValue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QVariant>

#include <cmath>

namespace ports {

namespace {

// The text conversions stop at a NUL character: "12\u0000 V" would read as 12.
bool HoldsNul(const QString& sText)
{
    return sText.contains(QChar(0));
}

} // namespace

std::optional<TJsonValue> TJsonValue::Parse(const QString& sText)
{
    // A scalar is valid JSON too; wrapping it in an array lets the document parser take it.
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson((QLatin1Char('[') + sText + QLatin1Char(']')).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() || document.array().size() != 1)
        return std::nullopt;
    return TJsonValue(document.array().at(0));
}

std::optional<TJsonValue> TJsonValue::Find(const QString& sPath) const
{
    QJsonValue value = fValue;
    int i = 0;
    const int iLength = sPath.size();
    while (i < iLength) {
        if (sPath[i] == QLatin1Char('[')) {
            const int iClose = sPath.indexOf(QLatin1Char(']'), i);
            if (iClose < 0)
                return std::nullopt;
            bool bOk = false;
            const int iIndex = sPath.mid(i + 1, iClose - i - 1).trimmed().toInt(&bOk);
            if (!bOk || !value.isArray() || iIndex < 0 || iIndex >= value.toArray().size())
                return std::nullopt;
            value = value.toArray().at(iIndex);
            i = iClose + 1;
            if (i < iLength && sPath[i] == QLatin1Char('.'))
                ++i;
            continue;
        }
        int iEnd = i;
        while (iEnd < iLength && sPath[iEnd] != QLatin1Char('.') && sPath[iEnd] != QLatin1Char('['))
            ++iEnd;
        const QString sName = sPath.mid(i, iEnd - i);
        if (!value.isObject() || !value.toObject().contains(sName))
            return std::nullopt;
        value = value.toObject().value(sName);
        i = iEnd;
        if (i < iLength && sPath[i] == QLatin1Char('.'))
            ++i;
    }
    return TJsonValue(value);
}

std::optional<std::int64_t> TJsonValue::ToInteger() const
{
    if (fValue.isDouble()) {
        // Integers are stored exactly; other numbers are no integer.
        const QVariant variant = fValue.toVariant();
        if (variant.typeId() == QMetaType::LongLong)
            return variant.toLongLong();
        return std::nullopt;
    }
    if (fValue.isString() && !HoldsNul(fValue.toString())) {
        bool bOk = false;
        const qint64 iValue = fValue.toString().trimmed().toLongLong(&bOk);
        if (bOk)
            return iValue;
    }
    return std::nullopt;
}

std::optional<double> TJsonValue::ToFloat() const
{
    if (fValue.isDouble())
        return fValue.toDouble();
    if (fValue.isString() && !HoldsNul(fValue.toString())) {
        bool bOk = false;
        const double rValue = fValue.toString().trimmed().toDouble(&bOk);
        if (bOk && std::isfinite(rValue))
            return rValue;
    }
    return std::nullopt;
}

std::optional<QString> TJsonValue::ToText() const
{
    switch (fValue.type()) {
    case QJsonValue::String:
        return fValue.toString();
    case QJsonValue::Bool:
        return fValue.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QString();
    case QJsonValue::Double: {
        if (const auto iValue = ToInteger())
            return QString::number(*iValue);
        return QString::number(fValue.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    default:
        return std::nullopt;
    }
}

} // namespace ports
