#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>

// Small text helpers shared across the system.

// Display form of data: every character taken as its low 8 bits; bytes 00-1F, 5C and 80-9F
// become a backslash and two upper-case hex digits (\0D).
QString EscapeText(const QString& sText);

// Every character's code as at least two upper-case hex digits, separated by blanks ("41 42").
QString HexDump(const QString& sText);

// Each byte becomes the character with the same code (00-FF).
QString BytesToText(const QByteArray& sBytes);

// Each character becomes one byte. Returns the number of bytes written, or minus the 1-based
// position of the first character whose code is 256 or more (aBytes then holds the bytes before it).
int TextToBytes(const QString& sText, QByteArray& aBytes);

// Removes every application thousand-group separator; true if there was one.
bool RemoveThousandSeparators(QString& s);

// Fills the "#" of sPattern with the characters of sSource in turn; surplus characters are
// appended, surplus "#" stay.
QString FillPattern(const QString& sSource, const QString& sPattern);

// The text inside the first cOpen and its matching cClose (nested pairs kept); empty when the
// matching close is missing.
QString ExtractBracketed(const QString& sText, QChar cOpen, QChar cClose);

// The text between the first and the second occurrence of c; empty unless both exist.
QString ExtractBetween(const QString& sText, QChar c);

// The text after the first c up to the next one (or the end); sText unchanged without c.
QString Unquote(const QString& sText, QChar c);

// The text before the first occurrence of sSub; all of sText when absent.
QString TextBefore(const QString& sText, const QString& sSub);

// The text after the first character of the first occurrence of sSub (the whole text when
// absent), trimmed.
QString TextAfter(const QString& sText, const QString& sSub);

// 1-based position of the first blank or tab, 0 when none.
int FirstBlank(const QString& sText);

// Drops sKeyword's length from the front, trims, and splits at the first blank or tab into the
// trimmed first word and the trimmed rest; false (sFirst = the whole trimmed text) without a blank.
bool SplitDirective(const QString& sLine, const QString& sKeyword, QString& sFirst, QString& sRest);

// Removes characters with codes below 33 at both ends (blanks and control characters).
QString TrimControl(const QString& sText);

class QDateTime;

// The full path of a file name written in a definition: quotes removed, "\" taken as a path
// delimiter like "/", based on the directory of the last loaded definition for a "TZD:" prefix
// and on the program's directory for "TZK:" or no prefix; an absolute name keeps its place, and a
// drive path such as "C:\x\a.txt" stays exactly as written. "." and ".." are resolved. Empty when
// the path is longer than the platform allows. With bMustExist a missing file raises EMsg
// "File not found: \"%s\"" (02010A).
QString ResolveFileName(const QString& sName, bool bMustExist);

// Replaces the date and time tags of a report text by parts of dtWhen: "%DATE" (short date form),
// "%TIME" (long time form), "%WW"/"%W" (ISO week), "%DD"/"%D" (day), "%MM"/"%M" (month),
// "%YYYY" (year) and "%YY" (year modulo 1000), the longer tags first.
QString InsertDateTimeTags(const QString& sText, const QDateTime& dtWhen);

// Whether the whole of sText matches sPattern: "*" any run of characters (also none), "?" one
// character, everything else itself (case-sensitive). Time O(text * pattern) at worst, no
// recursion.
bool MatchWildcard(const QString& sText, const QString& sPattern);

// The same match on the 8-bit forms of both texts (characters above FF become "?"), each byte a
// character, a zero byte included.
bool MatchWildcardBytes(const QString& sText, const QString& sPattern);
bool MatchWildcardBytes(const QByteArray& aText, const QByteArray& aPattern);

// An integer as definitions write it: leading blanks, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may follow. iBits is 32 or 64:
// hexadecimal digits are a bit pattern of that width ("$FFFFFFFF" is -1 with 32 bits), decimal
// values must fit the signed range. False for any other text.
bool TextToInteger(const QString& sText, int iBits, std::int64_t& iValue);

// A float with cDecimalSeparator: an optional sign, digits with an optional fraction, an optional
// exponent; nothing else. A value too large is refused, one too small reads as 0.
bool TextToFloat(const QString& sText, QChar cDecimalSeparator, double& rValue);

// Converts a plain number with "." as decimal point: [sign] digits [. digits] [e [sign] digits].
// Returns 0 on success, otherwise the 1-based position of the first character that does not fit.
int ConvertPlainNumber(const QString& sText, double& rValue);
