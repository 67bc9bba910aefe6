#pragma once
// The statement trace: when KESTRANE_SQL_TRACE names a file, every statement a connection is given is appended
// to it, one line each, tab-separated: the time, the provider, the text as the program wrote it, and the text
// the engine received. Costs one branch when the variable is unset.

#include <QString>

namespace ado {

// True when a trace file is named (read once per process).
bool TraceEnabled();
// Appends one line; line breaks and tabs inside the texts are written as \n, \r and \t.
void TraceStatement(const QString& provider, const QString& written, const QString& sent);

}  // namespace ado
