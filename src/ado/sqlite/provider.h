#pragma once
// The Jet provider ("Microsoft.Jet.OLEDB.4.0"): the product's database files are SQLite 3 databases.

#include "ado/provider.h"

#include <memory>

namespace ado::sqlite {

// The provider that opens Data Source= as an SQLite file; never creates one.
std::shared_ptr<provider::Provider> MakeProvider();

}  // namespace ado::sqlite
