#pragma once

#include "execution/Command.h"

#include <memory>

class TRichEditPaper;

namespace sys {

// Prints an RTF template on a named printer as a test step, with the variables and the date and
// time filled in.
class TCmdPrint : public TCommand
{
public:
    explicit TCmdPrint(TDevice* aOwner);
    ~TCmdPrint() override;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

    TRichEditPaper& Paper() { return *fPaper; }
    const QString& Caption() const { return fsCaption; }
    const QString& TemplateFile() const { return fsTemplateFile; }
    const QString& PrinterName() const { return fsPrinterName; }

private:
    bool PrintTemplate();

    std::unique_ptr<TRichEditPaper> fPaper;
    QString fsCaption;
    QString fsTemplateFile;
    QString fsPrinterName;
};

} // namespace sys
