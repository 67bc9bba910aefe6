// kestrane-admin configure: writes the settings that the program reads to find its data and to know this
// workstation.
#include "platform/settings.h"
#include "tools/command.h"
#include "tools/command_line.h"

#include <QTextStream>

#include <utility>
#include <vector>

namespace tools {

namespace {

struct Setting {
    QString application;
    QString section;
    QString key;
    QString value;
};

Setting ProductSetting(const QString& key, const QString& value) {
    return {QStringLiteral("KS"), QStringLiteral("Data"), key, value};
}

// The settings the command line asks for, all checked before any is written.
std::vector<Setting> RequestedSettings(const QCommandLineParser& parser) {
    std::vector<Setting> settings;
    const bool dataPath = parser.isSet(QStringLiteral("data-path"));
    const bool server = parser.isSet(QStringLiteral("server"));
    const bool login = parser.isSet(QStringLiteral("login"));
    if (login != parser.isSet(QStringLiteral("password"))) {
        throw UsageError(QStringLiteral("Give --login and --password together."));
    }
    if (login && !server)
        throw UsageError(QStringLiteral("--login needs --server."));

    if (parser.isSet(QStringLiteral("datasource-type"))) {
        settings.push_back(ProductSetting(QStringLiteral("Datasource Type"),
                                          parser.value(QStringLiteral("datasource-type"))));
    } else if (server) {
        settings.push_back(ProductSetting(QStringLiteral("Datasource Type"), QStringLiteral("SQL Server")));
    } else if (dataPath) {
        settings.push_back(ProductSetting(QStringLiteral("Datasource Type"), QStringLiteral("Access")));
    }
    if (dataPath) {
        settings.push_back(ProductSetting(QStringLiteral("KS Data Path"),
                                          FolderPath(parser.value(QStringLiteral("data-path")))));
    }
    if (server) {
        settings.push_back(
            ProductSetting(QStringLiteral("Server Name"), parser.value(QStringLiteral("server"))));
        settings.push_back(ProductSetting(QStringLiteral("Trusted Connection"),
                                          login ? QStringLiteral("No") : QStringLiteral("Yes")));
    }
    if (login) {
        settings.push_back(
            ProductSetting(QStringLiteral("Server User ID"), parser.value(QStringLiteral("login"))));
        settings.push_back(
            ProductSetting(QStringLiteral("Server Password"), parser.value(QStringLiteral("password"))));
    }
    if (parser.isSet(QStringLiteral("workstation"))) {
        settings.push_back({QStringLiteral("Halvermoor Software"), QStringLiteral("Settings"),
                            QStringLiteral("Workstation Name"), parser.value(QStringLiteral("workstation"))});
    }
    if (settings.empty())
        throw UsageError(QStringLiteral("Nothing to configure."));
    return settings;
}

int RunConfigure(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("data-path"), QStringLiteral("The folder of the database files."),
         QStringLiteral("DIR")},
        {QStringLiteral("server"),
         QStringLiteral("The database server: a host, host,port, or a socket folder."),
         QStringLiteral("SOURCE")},
        {QStringLiteral("login"),
         QStringLiteral("Log in to the server as USER (default: as this system user)."),
         QStringLiteral("USER")},
        {QStringLiteral("password"), QStringLiteral("The password of --login."), QStringLiteral("PASSWORD")},
        {QStringLiteral("datasource-type"),
         QStringLiteral("\"Access\" for the files, another text for the server (default: from --server)."),
         QStringLiteral("TYPE")},
        {QStringLiteral("workstation"), QStringLiteral("This workstation's registered name."),
         QStringLiteral("NAME")},
    });
    ParseArguments(parser, arguments, 0);

    QTextStream out(stdout);
    for (const Setting& setting : RequestedSettings(parser)) {
        platform::SaveSetting(setting.application, setting.section, setting.key, setting.value);
        out << setting.application << " / " << setting.section << " / " << setting.key << " = "
            << (setting.key == QStringLiteral("Server Password") ? QStringLiteral("********") : setting.value)
            << Qt::endl;
    }
    return 0;
}

}  // namespace

const Command kConfigureCommand{
    QStringLiteral("configure"),
    QStringLiteral("[--data-path DIR] [--server SOURCE [--login USER --password PASSWORD]] "
                   "[--datasource-type TYPE] [--workstation NAME]"),
    QStringLiteral(
        "Write where the data is and this workstation's name. --data-path alone selects the database\n"
        "      files; --server selects the server (the users file stays in the data folder)."),
    RunConfigure};

}  // namespace tools
