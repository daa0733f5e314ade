#pragma once

#include <QString>

// A window rectangle as four edges in screen pixels: width = Right - Left, height = Bottom - Top.
struct TRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    bool operator==(const TRect& aOther) const
    {
        return Left == aOther.Left && Top == aOther.Top && Right == aOther.Right && Bottom == aOther.Bottom;
    }
    bool operator!=(const TRect& aOther) const { return !(*this == aOther); }
};

// The user's settings, held in memory for the whole run, loaded once and written back when the
// main window closes. They live in an INI file per user ("Norbeck Software Design/TZK2.ini" in the
// user's configuration folder): integers and Booleans as decimal numbers (Booleans 1 and 0, any
// non-zero number reading as true), strings as strings. A machine-wide file beside the system's
// configuration is only tested for access.
class TRegIO
{
public:
    TRegIO();

    static TRegIO& Instance();
    static void InstanceRelease();

    // The files behind the two locations; tests and special set-ups point them elsewhere.
    const QString& UserFileName() const { return fsUserFileName; }
    void SetUserFileName(const QString& sFileName) { fsUserFileName = sFileName; }
    const QString& DefaultFileName() const { return fsDefaultFileName; }
    void SetDefaultFileName(const QString& sFileName) { fsDefaultFileName = sFileName; }

    // Reads all values into the fields; false (nothing changed) when there are no user settings
    // yet. A missing or mistyped integer or Boolean raises EError "Failed to get data for '%s'" or
    // "Invalid data type for '%s'" and leaves the fields read before it changed; "sed" and "eof"
    // may be missing (then true), a missing string reads empty.
    bool CurrentUserLoad();
    // Writes all values; false with LastError "No permission to write in the user registry
    // file!" when the file cannot be written.
    bool CurrentUserSave();

    // Whether the machine-wide location can be opened for writing (created if missing).
    bool DefaultAvailable();
    // Whether the machine-wide location exists and can be opened for reading. Nothing is read.
    bool DefaultLoad();
    // Opens the machine-wide location for writing, creating it if needed; nothing is written.
    // false with LastError "No permission to write in the default registry file!" on failure.
    bool DefaultSave();

    const QString& LastFile() const { return FLastFile; }
    void SetLastFile(const QString& aValue) { FLastFile = aValue; }
    // One full path per line, lines separated by CR LF, newest first.
    const QString& RecentFileList() const { return FsRecentFileList; }
    void SetRecentFileList(const QString& aValue) { FsRecentFileList = aValue; }
    const TRect& Position() const { return FPosition; }
    void SetPosition(const TRect& aValue) { FPosition = aValue; }
    int SplitterPosH() const { return FSplitterPosH; }
    void SetSplitterPosH(int aValue) { FSplitterPosH = aValue; }
    int SplitterPosV() const { return FSplitterPosV; }
    void SetSplitterPosV(int aValue) { FSplitterPosV = aValue; }
    bool ViewMsgTrace() const { return FViewMsgTrace; }
    void SetViewMsgTrace(bool aValue) { FViewMsgTrace = aValue; }
    bool ShowToolbarTips() const { return FShowToolbarTips; }
    void SetShowToolbarTips(bool aValue) { FShowToolbarTips = aValue; }
    bool ShowToolbarCaption() const { return FShowToolbarCaption; }
    void SetShowToolbarCaption(bool aValue) { FShowToolbarCaption = aValue; }
    bool ShowTreeButtonAndLines() const { return FShowTreeButtonAndLines; }
    void SetShowTreeButtonAndLines(bool aValue) { FShowTreeButtonAndLines = aValue; }
    bool ShowCmdLineInTreeView() const { return FShowCmdLineInTreeView; }
    void SetShowCmdLineInTreeView(bool aValue) { FShowCmdLineInTreeView = aValue; }
    bool OptionsSkipErrors() const { return FbOptionsSkipErrors; }
    void SetOptionsSkipErrors(bool aValue) { FbOptionsSkipErrors = aValue; }
    bool ShowErrorReportDlg() const { return FbShowErrorReportDlg; }
    void SetShowErrorReportDlg(bool aValue) { FbShowErrorReportDlg = aValue; }
    bool EndOnFailure() const { return FEndOnFailure; }
    void SetEndOnFailure(bool aValue) { FEndOnFailure = aValue; }
    const QString& LastError() const { return FsLastError; }

private:
    bool OpenDefaultForWriting();

    QString FLastFile;
    QString FsRecentFileList;
    TRect FPosition;
    int FSplitterPosH = 0;
    int FSplitterPosV = 0;
    bool FViewMsgTrace = false;
    bool FShowToolbarTips = true;
    bool FShowToolbarCaption = false;
    bool FShowTreeButtonAndLines = false;
    bool FShowCmdLineInTreeView = false;
    bool FbOptionsSkipErrors = false;
    bool FbShowErrorReportDlg = true;
    bool FEndOnFailure = true;
    QString FsLastError;

    QString fsUserFileName;
    QString fsDefaultFileName;
};
