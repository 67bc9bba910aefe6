#pragma once
// Counting the server sessions a run opens on the program's catalog, from pg_stat_database.sessions
// (PostgreSQL 14 and later), read through a session on the "postgres" database so that it counts none.

#include "bench/server_session.h"

namespace bench {

class CatalogSessions {
public:
    // Connects to the server's "postgres" database. Raises std::runtime_error when the server refuses.
    explicit CatalogSessions(const ServerLocation& server);

    // Waits until no session is connected to the catalog (10 s at most), so that every ended session has
    // reported itself, then gives the catalog's session count. Raises std::runtime_error when the server
    // cannot be read.
    long long SettledCount();

private:
    ServerSession postgres_;
};

}  // namespace bench
