#include "RunCommandLine.h"

#include "ExitStatus.h"

namespace {

QCommandLineOption ValueOption(const char* sName, const char* sDescription, const char* sValue)
{
    return QCommandLineOption(QString::fromLatin1(sName), QString::fromLatin1(sDescription),
                              QString::fromLatin1(sValue));
}

QCommandLineOption FlagOption(const char* sName, const char* sDescription)
{
    return QCommandLineOption(QString::fromLatin1(sName), QString::fromLatin1(sDescription));
}

} // namespace

TRunCommandLine::TRunCommandLine()
    : fHelp(QStringList{QStringLiteral("?"), QStringLiteral("h"), QStringLiteral("help"),
                        QStringLiteral("help-all")},
            QStringLiteral("Displays help on commandline options.")),
      fVersion(QStringList{QStringLiteral("v"), QStringLiteral("version")},
               QStringLiteral("Displays version information.")),
      // Flags, not options with a value, so that "--check --werror FILE" checks FILE.
      fCheck(FlagOption("check", "Loads the file and reports its errors and warnings without running it.")),
      fPreprocess(FlagOption(
          "preprocess",
          "Loads the file and lists every line the keyword pass sees, with file and line number.")),
      fOperator(ValueOption(
          "operator", "The operator's name; asked for (or taken from the answers) when not given.", "name")),
      fAnswers(ValueOption("answers",
                           "Takes the operator's answers from <file>, one a line (see README: keys, buttons, "
                           "texts, the error report's stop box).",
                           "file")),
      fSkipErrors(FlagOption("skip-errors", "Runs a definition that loaded with errors.")),
      fTrace(FlagOption("trace", "Shows trace lines in the log.")),
      fDebug(FlagOption("debug", "Shows debug lines in the log.")),
      fJUnit(ValueOption("junit", "Writes the run as JUnit XML to <file>.", "file")),
      fWError(FlagOption("werror", "Treats the warnings of the definition check as load errors (status 2).")),
      fDevices(FlagOption("devices",
                          "With --check: also opens and probes the station's hardware (audio endpoints, "
                          "ports, converters) as a load does.")),
      fResultsDb(
          ValueOption("results-db",
                      "Stores every run in the PostgreSQL result database <url> (a postgresql:// URL or a "
                      "libpq connection string), in place of the settings' connection.",
                      "url")),
      fRuns(ValueOption("runs", "Ends after <count> runs without asking the final question for another run.",
                        "count")),
      fSockets(ValueOption("sockets",
                           "Runs the definition on <count> test sockets side by side, one unit each "
                           "(default: the settings' Sockets/Count, else 1).",
                           "count"))
{
    fParser.setApplicationDescription(
        QStringLiteral("Runs TZK test definitions without the desktop program.\n\n") +
        QString::fromLatin1(ExitStatusHelp()));
    fParser.addPositionalArgument(QStringLiteral("file"),
                                  QStringLiteral("The definition file to run (or to check, or to list)."),
                                  QStringLiteral("[file]"));
    for (const QCommandLineOption* pOption :
         {&fHelp, &fVersion, &fCheck, &fPreprocess, &fOperator, &fAnswers, &fSkipErrors, &fTrace, &fDebug,
          &fJUnit, &fWError, &fDevices, &fResultsDb, &fRuns, &fSockets})
        fParser.addOption(*pOption);
}

QString TRunCommandLine::HelpText() const
{
    return fParser.helpText();
}

bool TRunCommandLine::Fail(const QString& sError)
{
    fsError = sError;
    return false;
}

bool TRunCommandLine::Parse(const QStringList& slArguments)
{
    fOptions = TRunOptions();
    fsError.clear();
    if (!fParser.parse(slArguments))
        return Fail(fParser.errorText());
    if (fParser.isSet(fHelp)) {
        fOptions.eMode = TRunOptions::rmHelp;
        return true;
    }
    if (fParser.isSet(fVersion)) {
        fOptions.eMode = TRunOptions::rmVersion;
        return true;
    }

    const QStringList slFiles = fParser.positionalArguments();
    const QStringList slNames = fParser.optionNames();
    const int iModeFlags =
        int(slNames.count(QStringLiteral("check")) + slNames.count(QStringLiteral("preprocess")));
    if (slFiles.isEmpty())
        return Fail(iModeFlags == 0
                        ? QStringLiteral("Nothing to do: give FILE, --check FILE or --preprocess FILE.")
                        : QStringLiteral("The definition file name is missing."));
    if (iModeFlags > 1 || (iModeFlags == 1 && slFiles.size() > 1))
        return Fail(QStringLiteral("Give only one of FILE, --check FILE and --preprocess FILE."));
    if (slFiles.size() > 1)
        return Fail(QStringLiteral("Unexpected argument: ") + slFiles.at(1));
    for (const QCommandLineOption* pOption :
         {&fOperator, &fAnswers, &fJUnit, &fResultsDb, &fRuns, &fSockets}) {
        if (fParser.values(*pOption).size() > 1)
            return Fail(QStringLiteral("--%1 is given more than once.").arg(pOption->names().first()));
    }

    if (fParser.isSet(fCheck))
        fOptions.eMode = TRunOptions::rmCheck;
    else if (fParser.isSet(fPreprocess))
        fOptions.eMode = TRunOptions::rmPreprocess;
    else
        fOptions.eMode = TRunOptions::rmRun;
    fOptions.sFile = slFiles.first();
    if (fOptions.sFile.isEmpty())
        return Fail(QStringLiteral("The definition file name is empty."));

    if (fOptions.eMode != TRunOptions::rmRun) {
        for (const QCommandLineOption* pOption :
             {&fOperator, &fAnswers, &fJUnit, &fResultsDb, &fRuns, &fSockets}) {
            // A check accepts the operator's options of the run it stands for, and ignores them.
            const bool bIgnored = fOptions.eMode == TRunOptions::rmCheck && pOption != &fJUnit;
            if (fParser.isSet(*pOption) && !bIgnored)
                return Fail(QStringLiteral("--%1 only applies to a run (tzk-run FILE).")
                                .arg(pOption->names().first()));
        }
    }
    if (fParser.isSet(fOperator))
        fOptions.sOperator = fParser.value(fOperator);
    fOptions.sAnswersFile = fParser.value(fAnswers);
    fOptions.sJUnitFile = fParser.value(fJUnit);
    fOptions.bSkipErrors = fParser.isSet(fSkipErrors);
    fOptions.bTrace = fParser.isSet(fTrace);
    fOptions.bDebug = fParser.isSet(fDebug);
    fOptions.bWError = fParser.isSet(fWError);
    fOptions.bDevices = fParser.isSet(fDevices);
    if (fOptions.bDevices && fOptions.eMode != TRunOptions::rmCheck)
        return Fail(QStringLiteral("--devices only applies to a check (tzk-run --check FILE)."));
    if (fParser.isSet(fAnswers) && fOptions.sAnswersFile.isEmpty())
        return Fail(QStringLiteral("--answers needs a file name."));
    if (fParser.isSet(fJUnit) && fOptions.sJUnitFile.isEmpty())
        return Fail(QStringLiteral("--junit needs a file name."));
    if (fParser.isSet(fResultsDb)) {
        fOptions.sResultsDb = fParser.value(fResultsDb).trimmed();
        if (fOptions.sResultsDb->isEmpty())
            return Fail(QStringLiteral("--results-db needs a database URL or connection string."));
    }
    if (fParser.isSet(fRuns)) {
        bool bOk = false;
        const QString sRuns = fParser.value(fRuns).trimmed();
        fOptions.iRuns = sRuns.toInt(&bOk);
        if (!bOk || fOptions.iRuns < 1)
            return Fail(
                QStringLiteral("--runs needs a number of runs of at least 1, not \"%1\".").arg(sRuns));
    }
    if (fParser.isSet(fSockets)) {
        bool bOk = false;
        const QString sSockets = fParser.value(fSockets).trimmed();
        fOptions.iSockets = sSockets.toInt(&bOk);
        if (!bOk || fOptions.iSockets < 1 || fOptions.iSockets > ciMaxSocketsOption)
            return Fail(QStringLiteral("--sockets needs a number of sockets from 1 to %1, not \"%2\".")
                            .arg(ciMaxSocketsOption)
                            .arg(sSockets));
    }
    return true;
}
