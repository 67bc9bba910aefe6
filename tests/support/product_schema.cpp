#include "support/product_schema.h"

#include "ado/connection.h"

#include <QFile>

namespace testsupport {

QString NewProductDatabase(Engine engine, const QString& dir, const QString& name) {
    const QString connectionString = engine == Engine::Jet ? NewJetDatabase(dir, name) : NewServerDatabase();
    QFile file(QStringLiteral(KESTRANE_SCHEMA_DIR) +
               (engine == Engine::Jet ? QStringLiteral("/sqlite.sql") : QStringLiteral("/postgresql.sql")));
    if (!file.open(QIODevice::ReadOnly))
        throw ado::Error(ado::E_FAIL_HR, 0, QStringLiteral("Cannot read ") + file.fileName());
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(QString::fromUtf8(file.readAll()));
    connection.Close();
    return connectionString;
}

}  // namespace testsupport
