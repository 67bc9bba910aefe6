#pragma once
// The tables and fields that the queue processor reads and writes, with the kind of value it needs from
// each, checked against the kinds the database declares for them.

#include "ado/connection.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tools {

// What the processor does with a field's value.
enum class Need { Number, Flag, DateTime, Text };

struct RequiredField {
    QString name;  // as the processor names it
    Need need;
};

struct RequiredTable {
    QString name;          // as the processor names it, without brackets
    bool inUsersDatabase;  // the users file; otherwise the main database
    std::vector<RequiredField> fields;
};

// Every table the processor uses.
const std::vector<RequiredTable>& RequiredTables();

// What is wrong with table in the open database, one text each ("Blacklist is missing",
// "Blacklist.Date_Created is missing", "[Parameters].Next_Disqualifications_Rebuild holds text, not a date
// and time"); empty when nothing is. onServer selects the server's catalog. Raises ado::Error.
QStringList TableProblems(ado::Connection& connection, bool onServer, const RequiredTable& table);

}  // namespace tools
