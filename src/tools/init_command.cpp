// kestrane-admin init: creates the product's database files in a folder, or its catalog on a server, with
// the product's tables and the parameters row. Nothing is left half-made: what this run created is removed
// again when a later step fails.
#include "ado/connection.h"
#include "ado/error.h"
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/parameters_row.h"
#include "tools/schema_script.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace tools {

namespace {

const QString kMaintenanceCatalog = QStringLiteral("postgres");

QString QuotedName(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Adds the parameters row with ID 1 and no schedule.
void AddParametersRow(ado::Connection& connection) {
    OpenParametersRow(connection)->Update();
}

// The database files of the product in folder (which ends with "/").
QStringList DatabaseFiles(const QString& folder) {
    return {folder + kMainFile, folder + kUsersFile, folder + kListsFile, folder + kSandsFile};
}

void RefuseExistingFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (QFileInfo::exists(file))
            throw CommandFailed(kExitRefused, file + QStringLiteral(" already exists; nothing was written."));
    }
}

// The server's own catalog, through which catalogs are looked up, created and dropped.
Database ServerDatabase(const DataLocation& location) {
    return Database(QStringLiteral("the server's catalog"),
                    location.ServerConnectionString(kMaintenanceCatalog));
}

bool CatalogExists(const DataLocation& location) {
    Database server = ServerDatabase(location);
    server.Open();
    return server.HasRow(
        QStringLiteral("look the catalog up in"),
        QStringLiteral("SELECT datname FROM pg_database WHERE datname = ") + SqlText(location.catalog));
}

// Creates each file as an empty database, then its tables; the main file also gets the parameters row.
// created receives each file as soon as it exists.
void CreateDatabaseFiles(const QStringList& files, QStringList& created) {
    for (const QString& file : files) {
        try {
            ado::CreateDatabase(JetConnectionString(file));
        } catch (const ado::Error& err) {
            throw CommandFailed(kExitCannotWrite, QStringLiteral("Cannot create ") + file +
                                                      QStringLiteral(": ") + CauseInWords(err, false) +
                                                      QLatin1Char('.'));
        }
        created << file;

        Database database(QStringLiteral("the new database"), JetConnectionString(file));
        database.Open();
        database.Read(QStringLiteral("create the tables in"), [&](ado::Connection& connection) {
            RunSchemaScript(connection, kSqliteSchema);
            if (file.endsWith(kMainFile))
                AddParametersRow(connection);
        });
        database.Close();
    }
}

void CreateCatalog(const DataLocation& location, bool& created) {
    {
        Database server = ServerDatabase(location);
        server.Open();
        server.Read(QStringLiteral("create the catalog ") + location.catalog + QStringLiteral(" through"),
                    [&](ado::Connection& connection) {
                        connection.Execute(QStringLiteral("CREATE DATABASE ") + QuotedName(location.catalog));
                    });
        created = true;
        server.Close();
    }
    Database catalog(QStringLiteral("the new catalog"), location.ServerConnectionString(location.catalog));
    catalog.Open();
    catalog.Read(QStringLiteral("create the tables in"), [&](ado::Connection& connection) {
        RunSchemaScript(connection, kPostgresSchema);
        AddParametersRow(connection);
    });
    catalog.Close();
}

// Removes what a failed run created. A catalog that cannot be dropped is reported, not raised, so that the
// error that stopped the run is the one the user sees.
void Undo(const QStringList& createdFiles, bool catalogCreated, const DataLocation& location) {
    // Pooled sessions keep the files and the catalog open.
    ado::ClearConnectionPool();
    for (const QString& file : createdFiles) {
        for (const QString& suffix :
             {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
            QFile::remove(file + suffix);
        }
    }
    if (!catalogCreated)
        return;
    try {
        ado::Connection server;
        server.Open(location.ServerConnectionString(kMaintenanceCatalog));
        server.Execute(QStringLiteral("DROP DATABASE IF EXISTS ") + QuotedName(location.catalog));
    } catch (const ado::Error& error) {
        QTextStream(stderr) << "kestrane-admin: the catalog " << location.catalog
                            << " could not be removed again: " << error.Description() << Qt::endl;
    }
}

int RunInit(const QStringList& arguments) {
    QCommandLineParser parser;
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 0);
    const LocationOverrides overrides = LocationOverridesOf(parser);
    if (overrides.dataPath.isEmpty() && overrides.server.isEmpty()) {
        throw UsageError(QStringLiteral("Give --data-path, --server or both."));
    }
    const DataLocation location = ResolveDataLocation(overrides);

    // Everything is checked before anything is made.
    QStringList files;
    if (!overrides.dataPath.isEmpty()) {
        files = DatabaseFiles(overrides.dataPath);
        RefuseExistingFiles(files);
        if (!QDir().mkpath(overrides.dataPath))
            throw CommandFailed(kExitCannotWrite,
                                QStringLiteral("Cannot create the folder ") + overrides.dataPath);
    }
    const bool onServer = !overrides.server.isEmpty();
    if (onServer && CatalogExists(location)) {
        throw CommandFailed(kExitRefused, QStringLiteral("The catalog ") + location.catalog +
                                              QStringLiteral(" already exists on ") + location.server +
                                              QStringLiteral("; nothing was written."));
    }

    QStringList createdFiles;
    bool catalogCreated = false;
    try {
        CreateDatabaseFiles(files, createdFiles);
        if (onServer)
            CreateCatalog(location, catalogCreated);
    } catch (...) {
        Undo(createdFiles, catalogCreated, location);
        throw;
    }

    QTextStream out(stdout);
    for (const QString& file : createdFiles)
        out << "Created " << file << Qt::endl;
    if (onServer)
        out << "Created the catalog " << location.catalog << " on " << location.server << Qt::endl;
    return kExitOk;
}

}  // namespace

const Command kInitCommand{
    QStringLiteral("init"), QStringLiteral("[--data-path DIR] [--server SOURCE [--catalog NAME]]"),
    QStringLiteral(
        "Create KS.mdb, KS_users.mdb, KS_lists.mdb and KS_sands.mdb in DIR and/or the catalog on the\n"
        "      server, with the product's tables and the parameters row."),
    RunInit};

}  // namespace tools
