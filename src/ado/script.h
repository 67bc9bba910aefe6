#pragma once
// SQL scripts: files of statements separated by semicolons, with comments.

#include <QString>

#include <vector>

namespace ado {

// The statements of script in order, without its comments (which may hold semicolons of their own) and
// without blank statements, each as Connection::Execute takes it. Never fails.
std::vector<QString> ScriptStatements(const QString& script);

}  // namespace ado
