// Where the product's data is, read from the same settings the program reads, with command-line overrides.
#include "tools/data_location.h"

#include "data/connection_settings.h"
#include "platform/settings.h"
#include "tools/command.h"
#include "tools/command_line.h"

namespace tools {

namespace {

const QString kDataPathOption = QStringLiteral("data-path");
const QString kServerOption = QStringLiteral("server");
const QString kCatalogOption = QStringLiteral("catalog");

QString ProductSetting(const QString& key) {
    return platform::GetSetting(data::kProductCode, QStringLiteral("Data"), key);
}

}  // namespace

QString JetConnectionString(const QString& file) {
    return data::AccessMainConnectionString(file);
}

QString DataLocation::MainConnectionString() const {
    if (onServer) {
        if (server.isEmpty()) {
            throw CommandFailed(
                kExitConfig, QStringLiteral("The database server is not set: run \"kestrane-admin configure "
                                            "--server SOURCE\" or give --server."));
        }
        return ServerConnectionString(catalog);
    }
    if (dataPath.isEmpty()) {
        throw CommandFailed(kExitConfig, QStringLiteral("The data location is not set: run \"kestrane-admin "
                                                        "configure\" or give --data-path."));
    }
    return JetConnectionString(dataPath + kMainFile);
}

QString DataLocation::UsersConnectionString() const {
    if (dataPath.isEmpty()) {
        throw CommandFailed(kExitConfig,
                            QStringLiteral("The data folder is not set: run \"kestrane-admin configure "
                                           "--data-path DIR\" or give --data-path."));
    }
    return JetConnectionString(dataPath + kUsersFile);
}

QString DataLocation::ServerConnectionString(const QString& catalogName) const {
    // The program's own two forms: a login when "Trusted Connection" is "No", integrated security otherwise.
    if (ProductSetting(QStringLiteral("Trusted Connection")) == QStringLiteral("No")) {
        return data::ServerLoginConnectionString(server, ProductSetting(QStringLiteral("Server User ID")),
                                                 ProductSetting(QStringLiteral("Server Password")),
                                                 catalogName);
    }
    return data::ServerIntegratedConnectionString(server, catalogName);
}

void AddLocationOptions(QCommandLineParser& parser, bool withServer) {
    parser.addOption({kDataPathOption,
                      QStringLiteral("The folder of the database files (default: the settings)."),
                      QStringLiteral("DIR")});
    if (!withServer)
        return;
    parser.addOption({kServerOption, QStringLiteral("The database server (default: the settings)."),
                      QStringLiteral("SOURCE")});
    parser.addOption({kCatalogOption, QStringLiteral("The catalog on the server (default: Kestrane)."),
                      QStringLiteral("NAME")});
}

LocationOverrides LocationOverridesOf(const QCommandLineParser& parser) {
    LocationOverrides overrides;
    // optionNames() holds the options given, so that a command without the server options is not asked about
    // them.
    const QStringList given = parser.optionNames();
    if (given.contains(kDataPathOption)) {
        RequireConnectionValue(parser.value(kDataPathOption), QStringLiteral("--data-path"));
        overrides.dataPath = FolderPath(parser.value(kDataPathOption));
    }
    if (given.contains(kServerOption)) {
        RequireConnectionValue(parser.value(kServerOption), QStringLiteral("--server"));
        overrides.server = RequireName(parser.value(kServerOption), QStringLiteral("--server"));
    }
    if (given.contains(kCatalogOption)) {
        RequireConnectionValue(parser.value(kCatalogOption), QStringLiteral("--catalog"));
        overrides.catalog = RequireName(parser.value(kCatalogOption), QStringLiteral("--catalog"));
    }
    return overrides;
}

DataLocation ResolveDataLocation(const LocationOverrides& overrides) {
    DataLocation location;
    location.dataPath =
        overrides.dataPath.isEmpty() ? ProductSetting(QStringLiteral("KS Data Path")) : overrides.dataPath;
    location.catalog = overrides.catalog.isEmpty() ? data::kServerCatalog : overrides.catalog;
    if (!overrides.server.isEmpty()) {
        location.onServer = true;
        location.server = overrides.server;
    } else {
        const QString type = ProductSetting(QStringLiteral("Datasource Type"));
        location.onServer =
            !type.isEmpty() && type != QStringLiteral("Access") && overrides.dataPath.isEmpty();
        location.server = ProductSetting(QStringLiteral("Server Name"));
    }
    return location;
}

}  // namespace tools
