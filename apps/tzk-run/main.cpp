// The headless runner: runs definition files without the desktop program.

#include "core/MsgClasses.h"
#include "core/MsgLog.h"
#include "language/DefFilePreprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZK_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

    // Messages appear as the log shows them.
    TMsgLog log;
    log.Attach();
    QObject::connect(&log, &TMsgLog::LinesAdded, [&](int iFirst, int iCount) {
        for (int i = iFirst; i < iFirst + iCount; ++i)
            out << log.Lines().at(std::size_t(i)).sText << Qt::endl;
    });

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs TZK test definitions without the desktop program."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption preprocessOption(
        QStringLiteral("preprocess"),
        QStringLiteral("Loads <file> and lists every line the keyword pass sees, with file and line number."),
        QStringLiteral("file"));
    parser.addOption(preprocessOption);

    const auto Usage = [&](const QString& sProblem) {
        err << sProblem << Qt::endl << Qt::endl << parser.helpText();
        err.flush();
        return ciExitUsage;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(ciExitOk);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return Usage(QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first());
    if (!parser.isSet(preprocessOption))
        return Usage(QStringLiteral("Nothing to do: give --preprocess FILE."));

    const int iStatus = PreprocessFile(parser.value(preprocessOption), out, err);
    log.Detach();
    TMsgClass::ReleaseSingleton();
    return iStatus;
}
