#pragma once

#include <QDateTime>
#include <QString>

// Formats a date and time with the application's pattern letters (case-insensitive):
//   d dd ddd dddd   day, two-digit day, short and long day name (ddddd: the short date form)
//   m mm mmm mmmm   month, two-digit month, short and long month name; m and mm directly after
//                   an hour are minutes
//   yy yyyy         two- and four-digit year
//   h hh n nn s ss  hour, minute, second without and with a leading zero
//   z zzz           millisecond without and with leading zeros
//   am/pm a/p       12-hour clock with the marker in the pattern's case
//   / :             the application's date and time separators
//   '...' "..."     quoted text copied as it is
// Every other character is copied. An unterminated quote raises EConvertError.
QString FormatDateTime(const QString& sPattern, const QDateTime& dtWhen);
