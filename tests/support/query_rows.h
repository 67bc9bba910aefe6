#pragma once
// Reading rows back for a test's checks, through the object model the program uses.

#include <QString>
#include <QStringList>

#include <vector>

namespace testsupport {

// The rows of sql on a new connection with connectionString, each field as text ("Null" for Null), fields in
// the order given. Raises ado::Error.
std::vector<QStringList> QueryRows(const QString& connectionString, const QString& sql,
                                   const QStringList& fields);

}  // namespace testsupport
