#pragma once
// The server data source "SQLOLEDB.1": the product's server database on PostgreSQL, through libpq.

#include "ado/provider.h"

#include <memory>

namespace ado::postgresql {

// The provider registered under "SQLOLEDB.1". Never fails.
std::shared_ptr<ado::provider::Provider> MakeProvider();

}  // namespace ado::postgresql
