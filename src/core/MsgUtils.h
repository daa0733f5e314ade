#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

// One argument of a format list: an integer, a float or a text.
class TFormatArg
{
public:
    enum class Kind
    {
        Integer,
        Unsigned,
        Float,
        Text
    };

    TFormatArg(int aValue) : feKind(Kind::Integer), fiValue(aValue) {}
    TFormatArg(long aValue) : feKind(Kind::Integer), fiValue(aValue) {}
    TFormatArg(long long aValue) : feKind(Kind::Integer), fiValue(aValue) {}
    TFormatArg(unsigned aValue) : feKind(Kind::Unsigned), fuValue(aValue) {}
    TFormatArg(unsigned long aValue) : feKind(Kind::Unsigned), fuValue(aValue) {}
    TFormatArg(unsigned long long aValue) : feKind(Kind::Unsigned), fuValue(aValue) {}
    TFormatArg(double aValue) : feKind(Kind::Float), frValue(aValue) {}
    TFormatArg(const QString& aValue) : feKind(Kind::Text), fsValue(aValue) {}
    TFormatArg(const char* aValue) : feKind(Kind::Text), fsValue(QString::fromUtf8(aValue)) {}
    TFormatArg(QChar aValue) : feKind(Kind::Text), fsValue(aValue) {}

    Kind kind() const { return feKind; }
    bool isIntegral() const { return feKind == Kind::Integer || feKind == Kind::Unsigned; }
    std::int64_t asInt64() const { return feKind == Kind::Unsigned ? std::int64_t(fuValue) : fiValue; }
    std::uint64_t asUInt64() const { return feKind == Kind::Unsigned ? fuValue : std::uint64_t(fiValue); }
    double asDouble() const { return frValue; }
    const QString& asText() const { return fsValue; }

private:
    Kind feKind;
    std::int64_t fiValue = 0;
    std::uint64_t fuValue = 0;
    double frValue = 0.0;
    QString fsValue;
};

// The argument list of the reporting and exception forms: a braced list such as {sName, 5}.
using TFormatArgs = std::initializer_list<TFormatArg>;

// Formats aFormat with the conventional placeholders
//   "%" [index ":"] ["-"] [width] ["." precision] type
// with the types d (decimal; precision = minimum digits), u (unsigned), x (hexadecimal, always
// upper-case digits; precision = minimum digits), s (text; precision = maximum characters),
// e, f, g, n (floats with the application's decimal separator) and "%%" for a percent sign.
// A placeholder that does not fit its argument raises EConvertError
// "Format '%s' invalid or incompatible with argument"; a missing argument raises
// "No argument for format '%s'".
QString Format(const QString& aFormat, TFormatArgs aArgs);
QString Format(const QString& aFormat, const std::vector<TFormatArg>& aArgs);

// The general float form ("%g") with aiPrecision significant digits, written with
// aDecimalSeparator: "0", "INF", "-INF", "NAN", fixed form, or scientific form such as 1.5E-007.
QString FloatToStrG(double arValue, int aiPrecision, QChar aDecimalSeparator);

// The same with the application's decimal separator.
QString FloatToStrG(double arValue, int aiPrecision = 15);

// Dumps of device data in messages show at most this many bytes, so that a device that sends
// without end costs neither the memory of the log nor the time to format it.
constexpr int ciDumpHeadBytes = 512;

// The bytes a dump shows: the first iHead bytes of aData, or all of them when there are no more.
QByteArray DumpHead(const QByteArray& aData, int iHead = ciDumpHeadBytes);

// What follows a bounded dump: " ... (+N bytes)" with the count of the bytes it left out, empty when
// it showed them all.
QString DumpRest(const QByteArray& aData, int iHead = ciDumpHeadBytes);
