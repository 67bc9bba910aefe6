#include "data/connection_settings.h"

namespace data {

ConnectionSettings& Settings() {
    static ConnectionSettings settings;
    return settings;
}

QString AccessMainConnectionString(const QString& databaseFile) {
    const ConnectionSettings& s = Settings();
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + databaseFile +
           QStringLiteral(";Persist Security Info=False;User ID=") + s.jetUserName + QStringLiteral(";Password=") +
           s.jetPassword + QStringLiteral(";");
}

QString JetFileConnectionString(const QString& databaseFile) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + databaseFile +
           QStringLiteral(";Persist Security Info=False");
}

}  // namespace data
