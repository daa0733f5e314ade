#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// One text carried through an event whose argument is an object: the asking side puts its
// question in, the answering side replaces it with the answer.
class TSimpleString
{
public:
    explicit TSimpleString(const QString& aText = QString()) : FsValue(aText) {}

    const QString& Value() const { return FsValue; }
    void SetValue(const QString& aValue) { FsValue = aValue; }

private:
    QString FsValue;
};

// Replaces escape tags such as "\STX" and hex tags such as "\0D" in data strings by the
// characters they stand for. One table serves the whole program.
class TEscTaggedString
{
public:
    TEscTaggedString();

    // The shared object, created on first call with an empty table.
    static TEscTaggedString& Instance();
    static void InstanceRelease();

    // Instance().Process(sData).
    static QString Transform(const QString& sData);

    // Replaces the table by the control-character tags of data strings ("\STX", "\ETX",
    // "\EOT", "\ENQ", "\AKN", "\NAK", "\r", "\n"); the main window calls it once at creation.
    void AddDefaultTags();

    void Add(const QString& aTag, const QString& aSubstitute);
    void ClearTags();

    QChar TagMark() const { return FTagMark; }

    // Replaces every tag of aText: a doubled mark gives one mark, a final lone mark stays, a
    // table tag or "\" with two hex digits gives its substitute (the shortest match wins).
    // EError "Unknown tag in string \"%s\"!" (the text from the mark on) for anything else.
    QString Process(const QString& aText);

private:
    bool MatchTag(const QString& aText, int iMark, int& iLength);

    QStringList fTagList;
    QStringList fSubstituteList;
    QString fsTarget;
    QString fsSubstitute;
    QChar FTagMark;
    int fiLongestTag = 0;
};
