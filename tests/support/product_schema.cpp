#include "support/product_schema.h"

#include "ado/connection.h"
#include "ado/connection_string.h"

#include <QFile>

namespace testsupport {

namespace {

QString SchemaFileFor(const QString& connectionString) {
    const bool server = ado::ConnectionString(connectionString)
                            .Get(QStringLiteral("Provider"))
                            .startsWith(QStringLiteral("SQLOLEDB"), Qt::CaseInsensitive);
    return QStringLiteral(KESTRANE_SCHEMA_DIR) +
           (server ? QStringLiteral("/postgresql.sql") : QStringLiteral("/sqlite.sql"));
}

}  // namespace

void LoadProductSchema(const QString& connectionString) {
    QFile file(SchemaFileFor(connectionString));
    if (!file.open(QIODevice::ReadOnly)) {
        throw ado::Error(ado::E_FAIL_HR, 0, QStringLiteral("Cannot read ") + file.fileName());
    }
    const QString schema = QString::fromUtf8(file.readAll());
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(schema);
    connection.Close();
}

QString NewProductDatabase(Engine engine, const QString& dir, const QString& name) {
    const QString connectionString = engine == Engine::Jet ? NewJetDatabase(dir, name) : NewServerDatabase();
    LoadProductSchema(connectionString);
    return connectionString;
}

}  // namespace testsupport
