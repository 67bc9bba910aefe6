#include "data/connection_settings.h"

namespace data {

ConnectionSettings& Settings() {
    static ConnectionSettings settings;
    return settings;
}

QString AccessMainConnectionString(const QString& databaseFile) {
    const ConnectionSettings& s = Settings();
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + databaseFile +
           QStringLiteral(";Persist Security Info=False;User ID=") + s.jetUserName +
           QStringLiteral(";Password=") + s.jetPassword + QStringLiteral(";");
}

QString JetFileConnectionString(const QString& databaseFile) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + databaseFile +
           QStringLiteral(";Persist Security Info=False");
}

// ";Persist Security Info=False;" followed by the catalog's "Initial Catalog=" part when there is a catalog.
static QString CatalogPart(const QString& catalog) {
    return QStringLiteral(";Persist Security Info=False;") +
           (catalog.isEmpty() ? QString()
                              : QStringLiteral("Initial Catalog=") + catalog + QStringLiteral(";"));
}

QString ServerIntegratedConnectionString(const QString& serverName, const QString& catalog) {
    return QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=") + serverName +
           CatalogPart(catalog);
}

QString ServerLoginConnectionString(const QString& serverName, const QString& userId, const QString& password,
                                    const QString& catalog) {
    return QStringLiteral("Provider=SQLOLEDB.1;Data Source=") + serverName + CatalogPart(catalog) +
           QStringLiteral("UID=") + userId + QStringLiteral(";Pwd=") + password + QStringLiteral(";");
}

}  // namespace data
