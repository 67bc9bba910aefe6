#pragma once
// Where the product's data is, read from the same settings the program reads, with command-line overrides.

#include "tools/database.h"

#include <QCommandLineParser>
#include <QString>

namespace tools {

// The product's database files in a data folder.
inline const QString kMainFile = QStringLiteral("KS.mdb");
inline const QString kUsersFile = QStringLiteral("KS_users.mdb");
inline const QString kListsFile = QStringLiteral("KS_lists.mdb");
inline const QString kSandsFile = QStringLiteral("KS_sands.mdb");

// The server options of a command that may override the settings.
struct LocationOverrides {
    QString dataPath;  // a folder; empty: "KS Data Path" of the settings
    QString server;    // empty: "Server Name" of the settings, when "Datasource Type" selects the server
    QString catalog;   // empty: "Kestrane"
};

struct DataLocation {
    QString dataPath;  // ends with "/" when given on the command line; as stored in the settings otherwise
    bool onServer = false;
    QString server;
    QString catalog;

    // The main database: the KS.mdb file, or the catalog on the server. Raises CommandFailed (kExitConfig)
    // when neither is known.
    QString MainConnectionString() const;
    // The users database, always the KS_users.mdb file. Raises CommandFailed (kExitConfig) when the data
    // folder is unknown.
    QString UsersConnectionString() const;
    // The connection string of another catalog on the same server, with the same credentials.
    QString ServerConnectionString(const QString& catalogName) const;
    // The two databases, not yet open. Raise like the connection strings.
    Database MainDatabase() const {
        return Database(QStringLiteral("the main database"), MainConnectionString());
    }
    Database UsersDatabase() const {
        return Database(QStringLiteral("the users database"), UsersConnectionString());
    }
};

// Adds --data-path DIR, and with withServer also --server SOURCE and --catalog NAME, to parser.
void AddLocationOptions(QCommandLineParser& parser, bool withServer);
// The overrides given on the command line that parser has parsed. Raises UsageError for a value that a
// connection string cannot carry.
LocationOverrides LocationOverridesOf(const QCommandLineParser& parser);

// Reads "Datasource Type", "KS Data Path" and "Server Name" of the settings and applies overrides: a data
// path or a server given on the command line wins; --server selects the server. Never fails.
DataLocation ResolveDataLocation(const LocationOverrides& overrides);

// The connection string of a database file: the program's own form for its main and users files.
QString JetConnectionString(const QString& file);

}  // namespace tools
