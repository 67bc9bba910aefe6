#include "data/connect_database.h"

#include "data/connection_settings.h"
#include "platform/msgbox.h"
#include "platform/settings.h"

namespace data {

namespace {

const QString kDataSection = QStringLiteral("Data");
const QString kIncompleteSetupMessage =
    QStringLiteral("This workstation has an incomplete setup for Kestrane. Receipts will not be verified.");

// A value of application "KS", section "Data"; "" when it is missing.
QString ReadDataSetting(const QString& key) {
    return platform::GetSetting(kProductCode, kDataSection, key, QString());
}

// Tells the user that the settings are incomplete and marks the window so that it does no work.
void ReportIncompleteSetup(bool& incompleteSetup) {
    platform::MsgBox(kIncompleteSetupMessage, platform::vbOKOnly + platform::vbCritical);
    incompleteSetup = true;
}

// Builds the server connection string from "Server Name" and "Trusted Connection", or reports what is
// missing and leaves the main connection string as it was.
void BuildServerConnectionString(ConnectionSettings& settings, bool& incompleteSetup) {
    const QString serverName = ReadDataSetting(QStringLiteral("Server Name"));
    if (serverName.isEmpty()) {
        ReportIncompleteSetup(incompleteSetup);
        return;
    }
    const QString trusted = ReadDataSetting(QStringLiteral("Trusted Connection"));
    if (trusted == QStringLiteral("Yes")) {
        settings.mainConnectionString = ServerIntegratedConnectionString(serverName);
    } else if (trusted == QStringLiteral("No")) {
        settings.mainConnectionString =
            ServerLoginConnectionString(serverName, ReadDataSetting(QStringLiteral("Server User ID")),
                                        ReadDataSetting(QStringLiteral("Server Password")));
    } else {
        ReportIncompleteSetup(incompleteSetup);
    }
}

}  // namespace

void ConnectDatabase(bool& incompleteSetup) {
    ConnectionSettings& settings = Settings();

    const QString datasourceType = ReadDataSetting(QStringLiteral("Datasource Type"));
    if (datasourceType.isEmpty()) {
        ReportIncompleteSetup(incompleteSetup);
    } else if (datasourceType == QStringLiteral("Access")) {
        settings.accessFlag = true;
        settings.trueLiteral = QStringLiteral("TRUE");
        settings.falseLiteral = QStringLiteral("FALSE");
    } else {
        settings.accessFlag = false;
        settings.trueLiteral = QStringLiteral("1");
        settings.falseLiteral = QStringLiteral("0");
    }

    // The path is used exactly as stored: file names are appended to it without a separator.
    settings.dataPath = ReadDataSetting(kProductCode + QStringLiteral(" Data Path"));
    if (settings.dataPath.isEmpty()) {
        ReportIncompleteSetup(incompleteSetup);
        return;
    }

    if (settings.accessFlag) {
        settings.mainDatabaseFile = settings.dataPath + kProductCode + QStringLiteral(".mdb");
        settings.mainConnectionString = AccessMainConnectionString(settings.mainDatabaseFile);
    } else {
        BuildServerConnectionString(settings, incompleteSetup);
    }

    settings.usersDatabaseFile = settings.dataPath + kProductCode + QStringLiteral("_users.mdb");
    settings.usersConnectionString = AccessMainConnectionString(settings.usersDatabaseFile);
}

}  // namespace data
