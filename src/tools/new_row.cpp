// Adding one row to a table, as the product's other programs add users, workstations and queue requests.
#include "tools/new_row.h"

#include "ado/recordset.h"

namespace tools {

int32_t AddRow(ado::Connection& connection, const QString& table, const FieldValues& fields) {
    ado::Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE 1 = 0"), connection,
              ado::adOpenKeyset, ado::adLockPessimistic);
    rows.AddNew();
    for (const auto& [name, value] : fields)
        rows.Fields(name) = value;
    rows.Update();
    return rows.Fields(QStringLiteral("ID")).ToLong();
}

int32_t AddNamedRow(Database& database, const NamedRow& kind, const QString& name, FieldValues otherFields,
                    bool allowDuplicate, const LockWait& wait) {
    otherFields.emplace(otherFields.begin(), kind.nameField, ado::Variant(name));
    int32_t id = 0;
    database.Write(QStringLiteral("add the ") + kind.what + QStringLiteral(" to"), wait, [&] {
        // The same comparison as the processor's own look-up by name.
        ado::Recordset same;
        same.Open(QStringLiteral("SELECT ID FROM ") + kind.table + QStringLiteral(" WHERE [") +
                      kind.nameField + QStringLiteral("] = ") + SqlText(name) +
                      QStringLiteral(" ORDER BY ID"),
                  database.Connection());
        if (!same.Eof() && !allowDuplicate) {
            throw CommandFailed(
                kExitRefused,
                QStringLiteral("The %1 \"%2\" is already registered with ID %3 in %4; nothing was "
                               "added. Give --allow-duplicate to add a second one.")
                    .arg(kind.what, name)
                    .arg(same.Fields(QStringLiteral("ID")).ToLong())
                    .arg(kind.table));
        }
        same.Close();
        id = AddRow(database.Connection(), kind.table, otherFields);
    });
    database.Close();
    return id;
}

}  // namespace tools
