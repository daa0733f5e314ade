#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

#include <vector>

// A parameter text split into fields at ";" outside double quotes. A field counts only when a
// separator outside quotes ends it, so callers append Separator() to the text before assigning it.
class TCommaSeparatedValue
{
public:
    TCommaSeparatedValue();

    const QString& StringLine() const { return FStringLine; }
    // Stores the line and rebuilds the field list from it.
    void SetStringLine(const QString& aLine);

    QChar QuotationMarks() const { return FQuotationMarks; }
    QChar Separator() const { return FSeparator; }

    int ValueCount() const { return int(fFields.size()); }

    // The raw field (blanks and quotes kept); EError "Invalid csv index %d to list count %d!"
    // for an index outside the list.
    QString GetValue(int iIndex) const;
    // The field without leading and trailing characters below code 33.
    QString GetValueTrimmed(int iIndex) const;
    // The trimmed field's quoted part (up to the closing quote or the end), or the trimmed field
    // when it holds no quote.
    QString GetString(int iIndex) const;
    // GetString trimmed again, so that blanks inside the quotes go too.
    QString GetStringTrimmed(int iIndex) const;
    // The trimmed field as a 32-bit integer: decimal with optional sign, or hexadecimal after
    // "$", "x", "X", "0x" or "0X" (up to eight digits, taken as the 32-bit pattern, so "$FFFFFFFF"
    // is -1). EConvertError "'%s' is not a valid integer value" otherwise.
    int GetInteger(int iIndex) const;
    // The trimmed field as a floating-point number with the application's decimal separator:
    // optional sign, digits with an optional decimal part, optional exponent.
    // EConvertError "'%s' is not a valid floating point value" otherwise.
    double GetFloat(int iIndex) const;

private:
    // A field's place in FStringLine: the fields are copied out only when they are read, as most
    // callers read one or two of them.
    struct TField
    {
        qsizetype iStart;
        qsizetype iLength;
    };
    const TField& Field(int iIndex) const;

    std::vector<TField> fFields;
    QChar FQuotationMarks;
    QChar FSeparator;
    QString FStringLine;
};

// The conversions of GetInteger and GetFloat, for texts that do not come from a field.
int ParseInteger(const QString& sText);
double ParseFloat(const QString& sText, QChar cDecimalSeparator);
