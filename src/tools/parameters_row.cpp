// The program's parameters: the row of [Parameters] with ID 1, which holds the rebuild schedule.
#include "tools/parameters_row.h"

namespace tools {

std::unique_ptr<ado::Recordset> OpenParametersRow(ado::Connection& connection) {
    auto parameters = std::make_unique<ado::Recordset>();
    parameters->Open(QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"), connection, ado::adOpenKeyset,
                     ado::adLockPessimistic);
    if (parameters->Eof()) {
        parameters->AddNew();
        parameters->Fields(QStringLiteral("ID")) = ado::Variant(int32_t{1});
    }
    return parameters;
}

}  // namespace tools
