// What a provider gets without doing anything of its own.
#include "ado/provider.h"

#include "ado/error.h"

namespace ado::provider {

std::vector<bool> Session::HasRows(const std::vector<QString>& queries) {
    std::vector<bool> answers;
    answers.reserve(queries.size());
    std::vector<Variant> row;
    for (const QString& query : queries)
        answers.push_back(Query(query, Reading::Whole)->Next(row));
    return answers;
}

void Session::InsertAll(const TableKey& /*table*/, const std::vector<QString>& /*columns*/,
                        const std::vector<std::vector<Variant>>& /*rows*/) {
    throw ObjectModelError(ADODB_E_NOTSUPPORTED);
}

void Provider::CreateDatabase(const ConnectionString& /*connection*/) {
    throw ObjectModelError(ADODB_E_NOTSUPPORTED);
}

}  // namespace ado::provider
