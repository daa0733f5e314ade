#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

// The most test sockets --sockets takes (the station's limit).
constexpr int ciMaxSocketsOption = 64;

// What tzk-run was asked to do.
struct TRunOptions
{
    enum EMode
    {
        rmRun,        // tzk-run FILE
        rmCheck,      // --check FILE: load only
        rmPreprocess, // --preprocess FILE: the listing of the definition reader
        rmHelp,
        rmVersion
    };

    EMode eMode = rmRun;
    QString sFile;
    std::optional<QString> sOperator;
    QString sAnswersFile;
    QString sJUnitFile;
    bool bSkipErrors = false;
    bool bTrace = false;
    bool bDebug = false;
    bool bWError = false; // warnings of the definition check fail the load
    // --devices: the check opens and probes the station's hardware as a load does; without it the
    // check leaves the hardware alone.
    bool bDevices = false;
    // --results-db: the result database's connection, in place of the settings' (and on).
    std::optional<QString> sResultsDb;
    // --runs: the program ends after this many runs without asking for another; 0 asks after each.
    int iRuns = 0;
    // --sockets: the station's test sockets, each running the definition on its own unit; 0 takes
    // the settings' "Sockets/Count" (default 1).
    int iSockets = 0;
};

// tzk-run's command line.
class TRunCommandLine
{
public:
    TRunCommandLine();

    // False for a wrong usage, with ErrorText saying why.
    bool Parse(const QStringList& slArguments);
    const TRunOptions& Options() const { return fOptions; }
    const QString& ErrorText() const { return fsError; }
    QString HelpText() const;

private:
    bool Fail(const QString& sError);

    QCommandLineParser fParser;
    QCommandLineOption fHelp;
    QCommandLineOption fVersion;
    QCommandLineOption fCheck;
    QCommandLineOption fPreprocess;
    QCommandLineOption fOperator;
    QCommandLineOption fAnswers;
    QCommandLineOption fSkipErrors;
    QCommandLineOption fTrace;
    QCommandLineOption fDebug;
    QCommandLineOption fJUnit;
    QCommandLineOption fWError;
    QCommandLineOption fDevices;
    QCommandLineOption fResultsDb;
    QCommandLineOption fRuns;
    QCommandLineOption fSockets;
    TRunOptions fOptions;
    QString fsError;
};
