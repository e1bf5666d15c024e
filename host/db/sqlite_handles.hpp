#pragma once
#include <sqlite3.h>

#include <memory>

namespace tovik {

struct ConnectionClose {
    // close_v2: a connection with statements still alive closes when the last one is finalised.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

using Connection = std::unique_ptr<sqlite3, ConnectionClose>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

}  // namespace tovik
