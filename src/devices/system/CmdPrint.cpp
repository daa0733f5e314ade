#include "CmdPrint.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"
#include "reporting/RichEditPaper.h"
#include "reporting/RtfText.h"
#include "reporting/WinPrintersOnline.h"

#include <QDateTime>
#include <QFileInfo>

namespace sys {

TCmdPrint::TCmdPrint(TDevice* aOwner) : TCommand(aOwner), fPaper(std::make_unique<TRichEditPaper>()) {}

TCmdPrint::~TCmdPrint() = default;

TCommand* TCmdPrint::Init(const QString& sParameter)
{
    // No value-log column: a printed label has no value to log.
    const TCommaSeparatedValue csv = ParameterFields(sParameter);

    fsCaption = csv.GetStringTrimmed(0);
    fsTemplateFile = ResolveFileName(csv.GetStringTrimmed(1), true);
    if (!QFileInfo(fsTemplateFile).isFile())
        throw EMsg(QStringLiteral("Template file not found: %s"), {fsTemplateFile}, TMsgId(0x11810A), 0);

    fsPrinterName = csv.GetStringTrimmed(2);
    if (!TWinPrintersOnline::InstalledPrinters().contains(fsPrinterName, Qt::CaseInsensitive))
        throw EMsg(QStringLiteral("Printer \"%s\" not found!"), {fsPrinterName}, TMsgId(0x118114), 0);

    const QString sOrientation = csv.GetValueTrimmed(3);
    const std::optional<TPrinterOrientation> orientation = PrinterOrientation(sOrientation);
    if (!orientation)
        throw EMsg(QStringLiteral("Unknown printer orientation \"%s\"!"), {sOrientation}, TMsgId(0x11811E),
                   0);
    fPaper->SetOrientation(*orientation);

    fPaper->SetMarginLeft(float(csv.GetFloat(4)));
    fPaper->SetMarginTop(float(csv.GetFloat(5)));
    fPaper->SetMarginRight(float(csv.GetFloat(6)));
    fPaper->SetMarginBottom(float(csv.GetFloat(7)));
    return this;
}

void TCmdPrint::Execute(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdPrint.Execute: ") + sParameter);
    Conclude(PrintTemplate() ? crDone : crFailed);
}

bool TCmdPrint::PrintTemplate()
{
    try {
        const QByteArray aBytes = ReadTemplateFile(fsTemplateFile, QStringLiteral("template file"));

        // Variables first, so that a value holding a date tag gets the date as well.
        QString sText = Context().Variables().InsertValues(TemplateText(aBytes), RtfEscapeValue);
        sText = InsertDateTimeTags(sText, QDateTime::currentDateTime());

        if (!fPaper->SelectPrinter(fsPrinterName)) {
            const QString sError = Format(QStringLiteral("Printer \"%s\" not found!"), {fsPrinterName});
            Msg().Error(sError);
            SetErrorText(sError);
            return false;
        }
        fPaper->Print(fsCaption, sText);
        return true;
    } catch (const std::exception& e) {
        const QString sError = QStringLiteral("Printing failed with error: ") + ExceptionText(e);
        Msg().Fatal(sError);
        SetErrorText(sError);
        return false;
    }
}

} // namespace sys
