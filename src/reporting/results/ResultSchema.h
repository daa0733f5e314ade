#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class TPgConnection;

// The result database's tables, created and upgraded by the program itself: a version table and
// numbered migrations, each applied once, in order, in one transaction with the others that are
// missing.
class TResultSchema
{
public:
    struct TMigration
    {
        int iVersion;
        const char* sDescription;
        const char* sSql;
    };

    static const QList<TMigration>& Migrations();
    static int LatestVersion();

    // Brings the database to the latest version. A database at that version or a later one is
    // left as it is, so stations that may only insert work once the schema exists. False with
    // sError (the server's text) when a migration failed; bConnectionLost when the connection
    // went.
    static bool Migrate(TPgConnection& aConnection, int& iVersion, QString& sError, bool& bConnectionLost);

    // The statement that stores a JSON array of runs ($1); runs already stored are left alone.
    // Returns the number of runs it stored.
    static const QByteArray& InsertRuns();
};
