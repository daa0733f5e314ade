#include "FuzzSupport.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const QString sParameter = FuzzText(pData, nSize);
    TCommaSeparatedValue csv;
    csv.SetStringLine(sParameter + csv.Separator());

    // The fields with their separators rebuild the front of the line.
    QString sRebuilt;
    for (int i = 0; i < csv.ValueCount(); ++i)
        sRebuilt += csv.GetValue(i) + csv.Separator();
    FuzzCheck(csv.StringLine().startsWith(sRebuilt), "fields rebuild the line");
    FuzzCheck(csv.ValueCount() >= 1 || sParameter.count(csv.QuotationMarks()) % 2 == 1,
              "a balanced line has at least one field");

    for (int i = 0; i < csv.ValueCount(); ++i) {
        FuzzCheck(csv.GetValue(i).contains(csv.GetStringTrimmed(i)), "the string form is part of the field");
        try {
            csv.GetInteger(i);
        } catch (const EConvertError&) {
        }
        try {
            csv.GetFloat(i);
        } catch (const EConvertError&) {
        }
    }
    try {
        csv.GetValue(csv.ValueCount());
        FuzzCheck(false, "an index past the end raises");
    } catch (const EError&) {
    }
    return 0;
}
