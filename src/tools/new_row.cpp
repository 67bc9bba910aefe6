#include "tools/new_row.h"

#include "ado/recordset.h"

namespace tools {

int32_t AddRow(ado::Connection& connection, const QString& table,
               const std::vector<std::pair<QString, ado::Variant>>& fields) {
    ado::Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE 1 = 0"), connection,
              ado::adOpenKeyset, ado::adLockPessimistic);
    rows.AddNew();
    for (const auto& [name, value] : fields)
        rows.Fields(name) = value;
    rows.Update();
    return rows.Fields(QStringLiteral("ID")).ToLong();
}

}  // namespace tools
