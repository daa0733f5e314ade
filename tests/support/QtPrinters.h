#pragma once

// Lets GoogleTest print Qt texts readably in failure messages; every test file gets it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& a, std::ostream* os)
{
    *os << '"' << a.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (int i = 0; i < list.size(); ++i)
        *os << (i ? ", " : "") << '"' << list.at(i).toStdString() << '"';
    *os << '}';
}
