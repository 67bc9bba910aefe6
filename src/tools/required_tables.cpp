// The tables and fields that the queue processor reads and writes.
#include "tools/required_tables.h"

#include "ado/recordset.h"
#include "tools/database.h"

#include <map>

namespace tools {

namespace {

using Kind = ado::Variant::Kind;

// The kind of each field of table as the provider reads the engine's declared type, keyed by the lower-case
// field name; empty when the table does not exist. Raises ado::Error.
std::map<QString, Kind> FieldKinds(ado::Connection& connection, bool onServer, const QString& table) {
    const QString existing =
        onServer ? QStringLiteral("SELECT COUNT(*) AS n FROM pg_class WHERE oid = to_regclass(%1)")
                       .arg(SqlText(QLatin1Char('"') + table.toLower() + QLatin1Char('"')))
                 : QStringLiteral("SELECT COUNT(*) AS n FROM pragma_table_info(%1)").arg(SqlText(table));
    ado::Recordset found;
    found.Open(existing, connection);
    const bool exists = found.Fields(QStringLiteral("n")).ToLong() > 0;
    found.Close();
    std::map<QString, Kind> kinds;
    if (!exists)
        return kinds;
    ado::Recordset fields;
    fields.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("] WHERE 1 = 0"), connection);
    for (int i = 0; i < fields.FieldCount(); ++i)
        kinds[fields.FieldAt(i).Name().toLower()] = fields.FieldAt(i).DeclaredKind();
    return kinds;
}

bool Usable(Kind kind, Need need) {
    switch (need) {
        case Need::Number:
            return kind == Kind::Long;
        case Need::Flag:
            return kind == Kind::Boolean || kind == Kind::Long;
        case Need::DateTime:
            return kind == Kind::Date;
        case Need::Text:
            return kind == Kind::String;
    }
    return false;
}

QString KindWords(Kind kind) {
    switch (kind) {
        case Kind::Long:
            return QStringLiteral("a whole number");
        case Kind::Boolean:
            return QStringLiteral("a yes/no flag");
        case Kind::Double:
            return QStringLiteral("a fraction");
        case Kind::Date:
            return QStringLiteral("a date and time");
        case Kind::String:
            return QStringLiteral("text");
        default:
            return QStringLiteral("values of no declared type");
    }
}

// The kind that serves a need best, for messages.
Kind KindFor(Need need) {
    switch (need) {
        case Need::Number:
            return Kind::Long;
        case Need::Flag:
            return Kind::Boolean;
        case Need::DateTime:
            return Kind::Date;
        case Need::Text:
            return Kind::String;
    }
    return Kind::Null;
}

QString Bracketed(const QString& name) {
    return name.contains(QLatin1Char(' ')) ? QLatin1Char('[') + name + QLatin1Char(']') : name;
}

}  // namespace

const std::vector<RequiredTable>& RequiredTables() {
    using N = Need;
    static const std::vector<RequiredTable> tables{
        {QStringLiteral("Parameters"),
         false,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Next_Rebuild_Requested_By"), N::Number},
          {QStringLiteral("Next_Disqualifications_Rebuild"), N::DateTime}}},
        {QStringLiteral("Disqualifications_Queue"),
         false,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Table_Name"), N::Text},
          {QStringLiteral("Table_ID"), N::Number},
          {QStringLiteral("Creation_Date"), N::DateTime}}},
        {QStringLiteral("Agencies"),
         false,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Name"), N::Text},
          {QStringLiteral("No_Drug_Offenders"), N::Flag},
          {QStringLiteral("No_Sex_Offenders"), N::Flag},
          {QStringLiteral("No_Theft_Offenders"), N::Flag},
          {QStringLiteral("No_Violent_Offenders"), N::Flag}}},
        {QStringLiteral("Court Charges"),
         false,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Drug_Related"), N::Flag},
          {QStringLiteral("Sex_Crime"), N::Flag},
          {QStringLiteral("Theft_Related"), N::Flag},
          {QStringLiteral("Violent_Crime"), N::Flag}}},
        {QStringLiteral("Cases"),
         false,
         {{QStringLiteral("People ID"), N::Number}, {QStringLiteral("Court Charge"), N::Number}}},
        {QStringLiteral("Client Criminal History"),
         false,
         {{QStringLiteral("Client ID"), N::Number}, {QStringLiteral("Court Charge ID"), N::Number}}},
        {QStringLiteral("Blacklist"),
         false,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Client_ID"), N::Number},
          {QStringLiteral("Agency_ID"), N::Number},
          {QStringLiteral("Manually_Entered"), N::Flag},
          {QStringLiteral("Date_Created"), N::DateTime},
          {QStringLiteral("Notes"), N::Text},
          {QStringLiteral("Created_By"), N::Number}}},
        {QStringLiteral("Application User List"), true, {{QStringLiteral("ID"), N::Number}}},
        {QStringLiteral("Application Workstation List"),
         true,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("Workstation Name"), N::Text},
          {QStringLiteral("Active"), N::Flag}}},
        {QStringLiteral("Activity Log"),
         true,
         {{QStringLiteral("ID"), N::Number},
          {QStringLiteral("User ID"), N::Number},
          {QStringLiteral("Workstation"), N::Number},
          {QStringLiteral("Time"), N::DateTime},
          {QStringLiteral("Notes"), N::Text},
          {QStringLiteral("Last Updated"), N::DateTime},
          {QStringLiteral("Updated By"), N::Text}}},
    };
    return tables;
}

QStringList TableProblems(ado::Connection& connection, bool onServer, const RequiredTable& table) {
    const std::map<QString, Kind> kinds = FieldKinds(connection, onServer, table.name);
    const QString name = Bracketed(table.name);
    if (kinds.empty())
        return {name + QStringLiteral(" is missing")};
    QStringList problems;
    for (const RequiredField& field : table.fields) {
        const auto found = kinds.find(field.name.toLower());
        const QString fieldName = name + QLatin1Char('.') + Bracketed(field.name);
        if (found == kinds.end()) {
            problems << fieldName + QStringLiteral(" is missing");
        } else if (!Usable(found->second, field.need)) {
            problems << fieldName + QStringLiteral(" holds ") + KindWords(found->second) +
                            QStringLiteral(", not ") + KindWords(KindFor(field.need));
        }
    }
    return problems;
}

}  // namespace tools
