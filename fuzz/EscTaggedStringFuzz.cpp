#include "FuzzSupport.h"

#include "core/EscTaggedString.h"
#include "core/MsgExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static const bool bTagsAdded = [] {
        TEscTaggedString::Instance().AddDefaultTags();
        return true;
    }();
    (void)bTagsAdded;

    const QString sText = FuzzText(pData, nSize);
    try {
        const QString sResult = TEscTaggedString::Transform(sText);
        FuzzCheck(sResult.size() <= sText.size(), "tags never lengthen a text");
        if (!sText.contains(QLatin1Char('\\')))
            FuzzCheck(sResult == sText, "a text without tags is unchanged");
    } catch (const EError& e) {
        FuzzCheck(e.Message().startsWith(QStringLiteral("Unknown tag in string \"\\")),
                  "only unknown tags raise");
    }
    return 0;
}
