#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The 8-bit code page of the station's files: definition files that are not UTF-8 and the 8-bit
// files TZK writes (value logs, ID files, RTF output). Stations get their definitions from
// Windows editors, so the default is Windows-1252; the user's settings may name another one as
// "Station/CodePage". A file read and written again keeps its bytes.
class TCodePage
{
public:
    // Windows-1252.
    TCodePage();
    // "windows-1252" (also "cp1252"), "iso-8859-1" (also "latin1"), or any other name the
    // platform's converters know ("iso-8859-15", "windows-1250", ...), in any case. Raises EError
    // for a name that names no code page.
    static TCodePage Named(const QString& sName);

    const QString& Name() const { return fsName; }

    QString Decode(QByteArrayView aBytes) const;
    // The bytes of sText; a character the code page has no byte for becomes "?" and clears
    // *pbComplete.
    QByteArray Encode(const QString& sText, bool* pbComplete = nullptr) const;
    bool CanEncode(const QString& sText) const;

    // The station's code page (main thread): set once at start-up from the settings.
    static const TCodePage& Station();
    static void SetStation(const TCodePage& aCodePage);
    // The code page the settings file sIniFile names as "Station/CodePage", the default when it
    // names none. Raises EError for an unknown name.
    static TCodePage FromSettings(const QString& sIniFile);

private:
    enum class EKind
    {
        Windows1252,
        Latin1,
        Platform
    };

    EKind feKind = EKind::Windows1252;
    QString fsName;
};
