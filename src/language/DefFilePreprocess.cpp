#include "language/DefFilePreprocess.h"

#include "core/MsgExceptions.h"
#include "language/DefFileInterpreterBase.h"
#include "language/DefFilePreprocessor.h"
#include "language/SocketNames.h"

#include <QFileInfo>
#include <QTextStream>

QStringList PreprocessListing(TInterpreterBase& aReader)
{
    QStringList slListing;
    aReader.Rewind();
    while (!aReader.EndOfFile()) {
        const QString sLine = aReader.GetNextLine();
        if (!sLine.isEmpty())
            slListing.append(aReader.CurrentLocation() + QStringLiteral(": ") + sLine);
    }
    return slListing;
}

int PreprocessFile(const QString& sFileName, QTextStream& aOut, QTextStream& aErr)
{
    TInterpreterReader reader;
    try {
        reader.FileLoad(QFileInfo(sFileName).absoluteFilePath());
        PredefineSocket(reader, 1);
        TDefFilePreprocessor(reader).Run();
    } catch (const std::exception& e) {
        aErr << ExceptionText(e) << Qt::endl;
        return ciExitLoadError;
    }
    for (const QString& sLine : PreprocessListing(reader))
        aOut << sLine << '\n';
    aOut.flush();
    return ciExitOk;
}
