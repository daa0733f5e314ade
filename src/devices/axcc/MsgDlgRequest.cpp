#include "MsgDlgRequest.h"

#include <QStringList>

namespace axcc {

namespace {

// The message: the part after the first double quote up to the next one (or the end), when the
// value holds a quote.
QString MessageText(const QString& sValue)
{
    const int iOpen = sValue.indexOf(QLatin1Char('"'));
    if (iOpen < 0)
        return sValue;
    const int iClose = sValue.indexOf(QLatin1Char('"'), iOpen + 1);
    return iClose < 0 ? sValue.mid(iOpen + 1) : sValue.mid(iOpen + 1, iClose - iOpen - 1);
}

// The text between "[" and its matching "]" (or the end); empty without "[".
QString BracketText(const QString& sValue)
{
    const int iOpen = sValue.indexOf(QLatin1Char('['));
    if (iOpen < 0)
        return QString();
    int iDepth = 0;
    for (int i = iOpen; i < sValue.size(); ++i) {
        if (sValue[i] == QLatin1Char('['))
            ++iDepth;
        else if (sValue[i] == QLatin1Char(']') && --iDepth == 0)
            return sValue.mid(iOpen + 1, i - iOpen - 1);
    }
    return sValue.mid(iOpen + 1);
}

} // namespace

std::optional<TMsgDlgRequest> TMsgDlgRequest::Parse(const QString& sRequest)
{
    if (!sRequest.contains(QLatin1String("ShowMsgDlg:")))
        return std::nullopt;
    TMsgDlgRequest request;
    const QString sSpecification = sRequest.mid(sRequest.indexOf(QLatin1Char(':')) + 1);
    for (const QString& sRawItem : sSpecification.split(QLatin1Char(';'))) {
        const QString sItem = sRawItem.trimmed();
        const int iEquals = sItem.indexOf(QLatin1Char('='));
        if (iEquals < 0)
            continue;
        const QString sName = sItem.left(iEquals).trimmed();
        const QString sValue = sItem.mid(iEquals + 1).trimmed();
        if (sName.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0) {
            request.sText = MessageText(sValue);
        } else if (sName.compare(QLatin1String("Button"), Qt::CaseInsensitive) == 0) {
            for (const QString& sRawWord : BracketText(sValue).split(QLatin1Char(','))) {
                const QString sWord = sRawWord.trimmed().toUpper();
                request.bYes |= sWord == QLatin1String("YES");
                request.bNo |= sWord == QLatin1String("NO");
                request.bOk |= sWord == QLatin1String("OK");
                request.bCancel |= sWord == QLatin1String("CANCEL");
                request.bAbort |= sWord == QLatin1String("ABORT");
            }
        }
    }
    return request;
}

TDialogButtons TMsgDlgRequest::Buttons() const
{
    if (bYes || bNo)
        return TDialogButtons::YesNo;
    if (bCancel || bAbort)
        return TDialogButtons::OkCancel;
    return TDialogButtons::Ok;
}

} // namespace axcc
