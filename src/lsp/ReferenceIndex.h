#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>

// What the definition-language reference (docs/reference, built into the program) says about one
// function, keyword or setting: its syntax line, the first paragraph after it and its example.
struct TReferenceEntry
{
    QString sSyntax;      // "<sys>.Delay("<label>"; <time>)"
    QString sDescription; // the first paragraph of prose after the syntax block
    QString sExample;     // the first TZD example of the section, may be empty
    QString sPage;        // the page's path below docs/reference

    // The hover text: syntax, description and example as Markdown.
    QString Markdown() const;
    // The parameters of the syntax line after the label: "<time>" of "<sys>.Delay("<label>"; <time>)".
    QStringList Parameters() const;
};

// The reference pages read into entries. The pages are the one source: this index is built from
// them when the program starts, so the editor never says what the reference does not.
class TReferenceIndex
{
public:
    // The pages built into the program (the resource folder ":/reference").
    static const TReferenceIndex& BuiltIn();

    // Reads every "*.md" below sRoot (a folder or a resource path).
    void LoadPages(const QString& sRoot);
    // Reads one page's text; sPage names it in the entries.
    void AddPage(const QString& sPage, const QString& sText);

    // A function of a device type (RS232, SystemControl, ...); null when the reference has none.
    const TReferenceEntry* Function(const QString& sType, const QString& sFunction) const;
    // A statement keyword ("Test.Case", "Device.Create", "Set") or a directive ("#include").
    const TReferenceEntry* Keyword(const QString& sKeyword) const;
    // A setting of "Set(<name>; ...)" ("FileInfo", "ValueLog", ...).
    const TReferenceEntry* Setting(const QString& sName) const;
    // A device type's declaration ("Device.Create(RS232; <name>; ...)") and its page's introduction.
    const TReferenceEntry* DeviceType(const QString& sType) const;

    QStringList Keywords() const { return fKeywords.keys(); }
    QStringList Settings() const { return fSettings.keys(); }
    bool Empty() const { return fFunctions.empty() && fKeywords.isEmpty(); }

private:
    void ResolveInherited();

    std::map<QString, QHash<QString, TReferenceEntry>> fFunctions; // by type, then function
    QHash<QString, TReferenceEntry> fKeywords;
    QHash<QString, TReferenceEntry> fSettings;
    QHash<QString, TReferenceEntry> fDeviceTypes;
    // The device pages a type's page links to (the FTDI port to the port functions, the audio
    // input to the audio output's volume functions): functions its own page does not describe
    // are taken from there.
    std::map<QString, QStringList> fInherits;  // type -> page file names
    std::map<QString, QStringList> fPageTypes; // page file name -> its types
};
