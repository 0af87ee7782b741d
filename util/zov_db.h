// zov_db: a thin wrapper over one SQLite 3 database file.
//
// A `DBWrap` opens one file read-only or read-write (creating it), runs one
// SQL statement at a time with text parameters, returns every result row as
// a dict of strings and keeps the last error.  Each query prepares, runs and
// finalizes its own statement, so no statement outlives a call.  Every value
// travels as text: parameters are bound as their string form, and a row
// maps each column name to the column's text (a NULL column as "").
//
// Diagnostics go to standard error.  One wrapper is used from one thread:
// `error` and `errmsg` have no lock.  Nothing else in the program calls it.
#pragma once

#include <string>

#include "zov_var.h"

struct sqlite3;

enum { DBWRAP_MODE_DEFAULT = 0, DBWRAP_MODE_READONLY = 1 };

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
    // on failure, "Can't open database: %s" and leaves `_db` null.  A
    // database already open is closed first.  Any other mode opens nothing,
    // writes nothing and keeps the open database.  Never touches `error`.
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

    // Closes the database if one is open; `_db` becomes null.
    void close();

private:
    // Records a failed query: the message (cut to the 1024-byte buffer) in
    // `errmsg` and on standard error, `error` 1.
    void fail(const char* fmt, int code, const char* text, const char* sql);
};
