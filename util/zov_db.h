// zov_db: a thin wrapper over one SQLite 3 database file.
//
// A `DBWrap` opens one file read-only or read-write (creating it), runs one
// SQL statement at a time with text parameters, returns every result row as
// a dict of strings and keeps the last error.  Every value travels as text:
// parameters are bound as their string form, and a row maps each column
// name to the column's text (a NULL column as "").
//
// Preparing a statement costs more than running a small one, so a wrapper
// keeps up to DBWRAP_CACHED_STATEMENTS prepared statements, keyed by their
// SQL text, and evicts the least recently used.  A kept statement is reset
// and its parameters cleared as soon as its query ends, so between queries
// it holds no lock, no transaction and no copy of a caller's text; close and
// reopen finalize them all.  Results and messages are those of a fresh
// prepare (one exception is noted in query()).
//
// Diagnostics go to standard error.  One wrapper is used from one thread:
// `error`, `errmsg` and the statement cache have no lock.  Nothing else in
// the program calls it.
#pragma once

#include <string>

#include "zov_var.h"

struct sqlite3;
struct sqlite3_stmt;

enum { DBWRAP_MODE_DEFAULT = 0, DBWRAP_MODE_READONLY = 1 };
// How many prepared statements a wrapper keeps for reuse.
enum { DBWRAP_CACHED_STATEMENTS = 16 };

class DBWrap {
public:
    sqlite3* _db = nullptr; // the open database, or null
    int error = 0;          // 1 when the last query failed, else 0
    std::string errmsg;     // the last failure's message; a success keeps it

    DBWrap() {}
    DBWrap(const DBWrap&) = delete;
    DBWrap& operator=(const DBWrap&) = delete;
    // Closes the database if it is still open.
    virtual ~DBWrap();

    // Opens fname: DBWRAP_MODE_DEFAULT read-write, creating a missing file;
    // DBWRAP_MODE_READONLY read-only.  Writes "opening %s in ... mode" and,
    // on failure, "Can't open database: %s" and leaves `_db` null.  A null
    // or empty fname is refused the same way: SQLite would open a private
    // temporary database that loses everything at close.  A database
    // already open is closed first.  Any other mode opens nothing, writes
    // nothing and keeps the open database.  Never touches `error`.
    void open(const char* fname, int mode);

    // Runs the first statement of sql, binding the items of the list params
    // in order to its parameters 1, 2, ... as text (none binds nothing).
    // Returns a list with one dict per row.  On failure: `error` 1, `errmsg`
    // and one line on standard error, and the rows read before the failure.
    // A query without an open database, with params that are neither a list
    // nor none, or with no statement in sql (blank or null) fails this way.
    var query(const char* sql, var params);

    // Start and end a transaction in SQLite; the results are dropped.
    void begin();
    void commit();

    // Finalizes the kept statements and closes the database if one is
    // open; `_db` becomes null.
    void close();

private:
    // A prepared statement kept for reuse.  `busy` while a query runs it: a
    // query that SQLite calls back into (through a caller's SQL function)
    // with the same text prepares a copy of its own.
    struct Cached {
        std::string sql;
        sqlite3_stmt* stmt = nullptr; // null: a free slot
        bool busy = false;
        unsigned long used = 0; // `queries` at its last use
    };
    struct Lease;

    Cached cache[DBWRAP_CACHED_STATEMENTS];
    unsigned long queries = 0;

    // The slot keeping sql, busy or not, or null.
    Cached* cached(const char* sql, size_t len);
    // Keeps stmt in a free or the least recently used idle slot; null when
    // every slot is busy.
    Cached* keep(const char* sql, size_t len, sqlite3_stmt* stmt);
    // Prepares the first statement of sql into stmt; false, reported, when
    // SQLite refuses it.
    bool prepare(const char* sql, size_t len, sqlite3_stmt*& stmt);

    // Records a failed query: the message (cut to the 1024-byte buffer) in
    // `errmsg` and on standard error, `error` 1.
    void fail(const char* fmt, int code, const char* text, const char* sql);
};
