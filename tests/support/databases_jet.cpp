// Test databases of the embedded engine, and the choice between the two engines.
#include "support/databases.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <stdexcept>

namespace testsupport {

QString NewJetDatabase(const QString& dir, const QString& name) {
    const QString file = QDir(dir).filePath(name);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Writing the schema cookie gives the file its header, so that it is a database and not an empty file.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA user_version = 0", nullptr, nullptr, nullptr);
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(("cannot create " + file + ": " + message).toStdString());
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;").arg(file);
}

QString NewDatabase(Engine engine, const QString& dir) {
    return engine == Engine::Jet ? NewJetDatabase(dir) : NewServerDatabase();
}

}  // namespace testsupport
