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

// The server's own catalog, through which a new catalog is created and dropped.
const QString kMaintenanceCatalog = QStringLiteral("postgres");

QString QuotedName(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString QuotedText(QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
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
            throw CommandFailed(file + QStringLiteral(" already exists; nothing was written."));
    }
}

bool CatalogExists(const DataLocation& location) {
    ado::Connection server;
    server.Open(location.ServerConnectionString(kMaintenanceCatalog));
    ado::Recordset found;
    found.Open(
        QStringLiteral("SELECT datname FROM pg_database WHERE datname = ") + QuotedText(location.catalog),
        server);
    return !found.Eof();
}

// Creates each file as an empty database, then its tables; the main file also gets the parameters row.
// created receives each file as soon as it exists.
void CreateDatabaseFiles(const QStringList& files, QStringList& created) {
    for (const QString& file : files) {
        try {
            ado::CreateDatabase(JetConnectionString(file));
        } catch (const ado::Error& err) {
            throw CommandFailed(QStringLiteral("Cannot create ") + file + QStringLiteral(": ") +
                                err.Description());
        }
        created << file;

        ado::Connection connection;
        connection.Open(JetConnectionString(file));
        RunSchemaScript(connection, kSqliteSchema);
        if (file.endsWith(kMainFile))
            AddParametersRow(connection);
        connection.Close();
    }
}

void CreateCatalog(const DataLocation& location, bool& created) {
    {
        ado::Connection server;
        server.Open(location.ServerConnectionString(kMaintenanceCatalog));
        server.Execute(QStringLiteral("CREATE DATABASE ") + QuotedName(location.catalog));
        created = true;
        server.Close();
    }
    ado::Connection connection;
    connection.Open(location.ServerConnectionString(location.catalog));
    RunSchemaScript(connection, kPostgresSchema);
    AddParametersRow(connection);
    connection.Close();
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
            throw CommandFailed(QStringLiteral("Cannot create the folder ") + overrides.dataPath);
    }
    const bool onServer = !overrides.server.isEmpty();
    if (onServer && CatalogExists(location)) {
        throw CommandFailed(QStringLiteral("The catalog ") + location.catalog +
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
    return 0;
}

}  // namespace

const Command kInitCommand{
    QStringLiteral("init"), QStringLiteral("[--data-path DIR] [--server SOURCE [--catalog NAME]]"),
    QStringLiteral(
        "Create KS.mdb, KS_users.mdb, KS_lists.mdb and KS_sands.mdb in DIR and/or the catalog on the\n"
        "      server, with the product's tables and the parameters row."),
    RunInit};

}  // namespace tools
