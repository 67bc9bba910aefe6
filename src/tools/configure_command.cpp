// kestrane-admin configure: writes the settings that the program reads to find its data and to know this
// workstation. A server password never comes from the command line, and the file that holds one is readable
// by its owner alone.
#include "data/connection_settings.h"
#include "platform/application.h"
#include "platform/runtime_error.h"
#include "platform/settings.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/server_password.h"

#include <QTextStream>

#include <vector>

namespace tools {

namespace {

const QString kDataSection = QStringLiteral("Data");
const QString kPasswordKey = QStringLiteral("Server Password");
const QStringList kDatasourceTypes{QStringLiteral("Access"), QStringLiteral("SQL Server")};

struct Setting {
    QString application;
    QString section;
    QString key;
    QString value;
};

Setting ProductSetting(const QString& key, const QString& value) {
    return {data::kProductCode, kDataSection, key, value};
}

QString StoredPassword() {
    return platform::GetSetting(data::kProductCode, kDataSection, kPasswordKey);
}

// The password of --login: from --password-file, else asked at the terminal, else none (libpq's password
// file or service file gives it when the server asks).
QString LoginPassword(const QCommandLineParser& parser) {
    QString password;
    if (parser.isSet(QStringLiteral("password-file"))) {
        password = ReadPasswordFile(parser.value(QStringLiteral("password-file")));
    } else if (platform::HasTerminal()) {
        password =
            PromptPassword(QStringLiteral("Password of ") + parser.value(QStringLiteral("login")) +
                           QStringLiteral(" (Enter alone: none stored, libpq's password file gives it): "));
    }
    RequireConnectionValue(password, QStringLiteral("The password"));
    return password;
}

// The settings the command line asks for, all checked before any is written.
std::vector<Setting> RequestedSettings(const QCommandLineParser& parser) {
    if (parser.isSet(QStringLiteral("password"))) {
        throw UsageError(QStringLiteral(
            "--password is not taken: every user of this machine could read it. Give --password-file FILE, "
            "answer the prompt, or keep the password in libpq's password file (PGPASSFILE, ~/.pgpass)."));
    }
    const bool dataPath = parser.isSet(QStringLiteral("data-path"));
    const bool server = parser.isSet(QStringLiteral("server"));
    const bool login = parser.isSet(QStringLiteral("login"));
    if (parser.isSet(QStringLiteral("password-file")) && !login)
        throw UsageError(QStringLiteral("--password-file needs --login."));
    if (login && !server)
        throw UsageError(QStringLiteral("--login needs --server."));
    for (const QString& option :
         {QStringLiteral("data-path"), QStringLiteral("server"), QStringLiteral("login")}) {
        if (parser.isSet(option)) {
            RequireName(parser.value(option), QStringLiteral("--") + option);
            RequireConnectionValue(parser.value(option), QStringLiteral("--") + option);
        }
    }

    std::vector<Setting> settings;
    if (parser.isSet(QStringLiteral("datasource-type"))) {
        const QString type = parser.value(QStringLiteral("datasource-type"));
        if (!kDatasourceTypes.contains(type)) {
            throw UsageError(
                QStringLiteral("--datasource-type is \"Access\" (the files) or \"SQL Server\" (the "
                               "server), not \"") +
                type + QStringLiteral("\"."));
        }
        settings.push_back(ProductSetting(QStringLiteral("Datasource Type"), type));
    } else if (server || dataPath) {
        settings.push_back(
            ProductSetting(QStringLiteral("Datasource Type"), kDatasourceTypes.at(server ? 1 : 0)));
    }
    if (dataPath) {
        settings.push_back(ProductSetting(data::kProductCode + QStringLiteral(" Data Path"),
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
        settings.push_back(ProductSetting(kPasswordKey, LoginPassword(parser)));
    } else if (server && !StoredPassword().isEmpty()) {
        // Integrated security needs no password: the old one is not kept.
        settings.push_back(ProductSetting(kPasswordKey, QString()));
    }
    if (parser.isSet(QStringLiteral("workstation"))) {
        settings.push_back(
            {QStringLiteral("Halvermoor Software"), QStringLiteral("Settings"),
             QStringLiteral("Workstation Name"),
             RequireName(parser.value(QStringLiteral("workstation")), QStringLiteral("--workstation"))});
    }
    if (settings.empty())
        throw UsageError(QStringLiteral("Nothing to configure."));
    return settings;
}

// Makes the product's settings file readable by its owner alone when it holds (or is about to hold) a
// password, and warns when it was readable by others.
void GuardPassword(const std::vector<Setting>& settings) {
    const QString file = platform::SettingsFile(data::kProductCode);
    bool holdsPassword = !StoredPassword().isEmpty();
    for (const Setting& setting : settings) {
        if (setting.key == kPasswordKey)
            holdsPassword = !setting.value.isEmpty();
    }
    if (!holdsPassword)
        return;
    if (ReadableByOthers(file) && !StoredPassword().isEmpty()) {
        Warn(file + QStringLiteral(" holds the server password and other users could read it; it is now "
                                   "readable by you alone. Change the password if others may have read it."));
    }
    MakeOwnerOnly(file);
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
        {QStringLiteral("password-file"),
         QStringLiteral("The password of --login: the first line of FILE (\"-\": standard input)."),
         QStringLiteral("FILE")},
        {QStringLiteral("password"), QStringLiteral("Refused: use --password-file."),
         QStringLiteral("PASSWORD")},
        {QStringLiteral("datasource-type"),
         QStringLiteral("\"Access\" for the files, \"SQL Server\" for the server (default: from --server)."),
         QStringLiteral("TYPE")},
        {QStringLiteral("workstation"), QStringLiteral("This workstation's registered name."),
         QStringLiteral("NAME")},
    });
    ParseArguments(parser, arguments, 0);
    const std::vector<Setting> settings = RequestedSettings(parser);
    GuardPassword(settings);

    QTextStream out(stdout);
    for (const Setting& setting : settings) {
        try {
            platform::SaveSetting(setting.application, setting.section, setting.key, setting.value);
        } catch (const platform::RuntimeError& error) {
            throw CommandFailed(kExitCannotWrite,
                                QStringLiteral("Cannot write the settings file %1: %2 (error %3).")
                                    .arg(platform::SettingsFile(setting.application), error.Description())
                                    .arg(error.Number()));
        }
        QString shown = setting.value;
        if (setting.key == kPasswordKey) {
            shown = setting.value.isEmpty()
                        ? QStringLiteral("(none: libpq's password file or service file gives it)")
                        : QStringLiteral("********");
        }
        out << setting.application << " / " << setting.section << " / " << setting.key << " = " << shown
            << Qt::endl;
    }
    return kExitOk;
}

}  // namespace

const Command kConfigureCommand{
    QStringLiteral("configure"),
    QStringLiteral("[--data-path DIR] [--server SOURCE [--login USER [--password-file FILE]]]\n"
                   "      [--datasource-type Access|\"SQL Server\"] [--workstation NAME]"),
    QStringLiteral(
        "Write where the data is and this workstation's name. --data-path alone selects the database\n"
        "      files; --server selects the server (the users file stays in the data folder). The password "
        "of\n"
        "      --login comes from --password-file, a prompt on a terminal, or libpq's password file."),
    RunConfigure};

}  // namespace tools
