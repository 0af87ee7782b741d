// zov_db: see zov_db.h.
#include "zov_db.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include <sqlite3.h>

// ====== Lifecycle ======

DBWrap::~DBWrap() { close(); }

void DBWrap::open(const char* fname, int mode) {
    if (mode != DBWRAP_MODE_DEFAULT && mode != DBWRAP_MODE_READONLY) return;
    // Opening over an open handle would lose it for good: close it first.
    close();
    if (!fname || !*fname) {
        // SQLite would quietly make a temporary database that vanishes on
        // close, taking everything written to it along.
        fprintf(stderr, "Can't open database: %s\n", "no file name");
        return;
    }
    int rc;
    if (mode == DBWRAP_MODE_READONLY) {
        rc = sqlite3_open_v2(fname, &_db, SQLITE_OPEN_READONLY, nullptr);
        fprintf(stderr, "opening %s in READONLY mode\n", fname);
    } else {
        rc = sqlite3_open(fname, &_db);
        fprintf(stderr, "opening %s in READWRITE/CREATE mode\n", fname);
    }
    if (rc != SQLITE_OK) {
        fprintf(stderr, "Can't open database: %s\n", sqlite3_errmsg(_db));
        sqlite3_close(_db);
        _db = nullptr;
    }
}

void DBWrap::close() {
    if (!_db) return;
    for (Cached& c : cache) {
        // A busy statement belongs to a query still running (one that called
        // back into this wrapper); that query finalizes it when it ends.
        if (!c.busy) sqlite3_finalize(c.stmt);
        c = Cached();
    }
    // sqlite3_close refuses while a statement is still open (a busy one
    // above, or one a caller prepared on `_db` itself), and the handle would
    // leak; close_v2 frees the connection once the last one is finalized.
    if (sqlite3_close(_db) != SQLITE_OK) sqlite3_close_v2(_db);
    _db = nullptr;
}

// ====== Statement cache ======

// One query's statement, taken from the cache or freshly prepared.  When the
// query ends, however it ends, a kept statement is reset and its parameters
// cleared; any other (a copy made while the kept one was busy, or one whose
// slot close() emptied meanwhile) is finalized.  A statement close() left
// alone keeps its connection alive, so no new statement can take its
// address while it is out.
struct DBWrap::Lease {
    DBWrap& db;
    Cached* slot = nullptr;
    sqlite3_stmt* stmt = nullptr;

    explicit Lease(DBWrap& owner) : db(owner) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() {
        if (slot && slot->stmt == stmt) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
            slot->busy = false;
            slot->used = ++db.queries;
        } else {
            sqlite3_finalize(stmt);
        }
    }
};

DBWrap::Cached* DBWrap::cached(const char* sql, size_t len) {
    for (Cached& c : cache)
        if (c.stmt && c.sql.size() == len && memcmp(c.sql.data(), sql, len) == 0) return &c;
    return nullptr;
}

DBWrap::Cached* DBWrap::keep(const char* sql, size_t len, sqlite3_stmt* stmt) {
    Cached* slot = nullptr;
    for (Cached& c : cache) {
        if (!c.stmt) {
            slot = &c;
            break;
        }
        if (!c.busy && (!slot || c.used < slot->used)) slot = &c;
    }
    if (!slot) return nullptr;
    sqlite3_finalize(slot->stmt);
    slot->sql.assign(sql, len);
    slot->stmt = stmt;
    return slot;
}

// ====== Queries ======

void DBWrap::fail(const char* fmt, int code, const char* text, const char* sql) {
    char buf[1024];
    // A long SQL text is cut to fit rather than overrunning the buffer.
    snprintf(buf, sizeof buf, fmt, code, text, sql);
    errmsg = buf;
    fprintf(stderr, "%s\n", buf);
    error = 1;
}

bool DBWrap::prepare(const char* sql, size_t len, sqlite3_stmt*& stmt) {
    if (sqlite3_prepare_v2(_db, sql, (int)len, &stmt, nullptr) == SQLITE_OK) return true;
    fail("sqlite3:prepare [%d] %s; sql=%s\n", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql);
    return false;
}

namespace {

// A key of the result rows and the column that fills it.
struct Column {
    std::string name;
    int index;
};

// The keys of stmt's rows in key order, each with the last column of its
// name: a later column of the same name replaces an earlier one.
std::vector<Column> row_columns(sqlite3_stmt* stmt) {
    std::map<std::string, int> last;
    int count = sqlite3_column_count(stmt);
    for (int c = 0; c < count; c++) {
        const char* name = sqlite3_column_name(stmt, c);
        last[name ? name : ""] = c; // null only when out of memory
    }
    std::vector<Column> columns;
    for (const auto& entry : last) columns.push_back({entry.first, entry.second});
    return columns;
}

// Column c of the current row as a new string value: exactly its bytes,
// or empty for NULL.
var column_value(sqlite3_stmt* stmt, int c) {
    _var_string* value = new _var_string();
    // Text first, then its length; a NULL column has no text at all.
    const char* text = (const char*)sqlite3_column_text(stmt, c);
    if (text) value->value.assign(text, (size_t)sqlite3_column_bytes(stmt, c));
    return var(value);
}

} // namespace

var DBWrap::query(const char* sql, var params) {
    var rows = var_list();
    error = 1;
    if (!sql) sql = ""; // no statement: fails at the step like an empty text
    if (!_db) {
        // Reported, not passed off as a success: the caller's writes would
        // otherwise vanish without a trace.
        fail("sqlite3:query [%d] %s; sql=%s", SQLITE_MISUSE, "no database is open", sql);
        return rows;
    }
    int type = params.__type__();
    if (type != VAR_LIST && type != VAR_NONE) {
        // Reading items out of a dict would add keys to the caller's dict.
        std::string text = std::string("parameters must be a list, not a ") + var_typename(type);
        fail("sqlite3:bind [%d] %s; sql=%s\n", SQLITE_MISUSE, text.c_str(), sql);
        return rows;
    }

    // The parameters' texts outlive the lease: SQLite reads them in place,
    // and the lease clears the bindings before they go.  Most queries have
    // a few, which stay off the heap.
    std::string few[4];
    std::vector<std::string> more;
    size_t len = strlen(sql);
    Lease lease(*this);
    Cached* kept = cached(sql, len);
    bool reused = kept && !kept->busy;
    if (reused) {
        lease.slot = kept;
        lease.stmt = kept->stmt;
    } else {
        if (!prepare(sql, len, lease.stmt)) return rows;
        if (!lease.stmt) {
            // Blank or comment-only text: SQLite gives no statement and its
            // own error code would read "not an error".
            fail("sqlite3:step [%d] %s; sql=%s", SQLITE_MISUSE, "no statement in the SQL text", sql);
            return rows;
        }
        // While the kept copy is busy, this one serves one query only.
        if (!kept) lease.slot = keep(sql, len, lease.stmt);
    }
    if (lease.slot) lease.slot->busy = true;
    sqlite3_stmt* stmt = lease.stmt;

    if (type == VAR_LIST) {
        const std::vector<var>& items = static_cast<_var_list*>(params.value)->value;
        if (items.size() > 4) more.resize(items.size() - 4); // never grows while bound
        for (size_t i = 0; i < items.size(); i++) {
            std::string& text = i < 4 ? few[i] : more[i - 4];
            text = items[i].__str__();
            if (sqlite3_bind_text(stmt, (int)i + 1, text.data(), (int)text.size(), SQLITE_STATIC) != SQLITE_OK) {
                fail("sqlite3:bind [%d] %s; sql=%s\n", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql);
                return rows;
            }
        }
    }

    _var_list* list = static_cast<_var_list*>(rows.value);
    std::vector<Column> columns; // read at the first row
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (columns.empty()) columns = row_columns(stmt);
        _var_dict* row = new _var_dict();
        list->_append(var(row));
        // The names come in key order, so each entry goes in at the end.
        for (const Column& c : columns) row->value.emplace_hint(row->value.end(), c.name, column_value(stmt, c.index));
    }
    if (rc != SQLITE_DONE) {
        int code = sqlite3_errcode(_db);
        std::string text = sqlite3_errmsg(_db);
        // A kept statement compiled before this connection changed its schema
        // compiles itself again in the step.  When that fails, a fresh
        // prepare fails the same way, and the failure is reported as the
        // prepare's, as if the statement had not been kept.  (After another
        // connection's change, a fresh statement would have failed in the
        // step instead, once: the kind of message is then the one thing
        // that differs.)
        if (reused && list->value.empty()) {
            sqlite3_stmt* fresh = nullptr;
            bool compiles = prepare(sql, len, fresh);
            sqlite3_finalize(fresh);
            if (!compiles) return rows;
        }
        fail("sqlite3:step [%d] %s; sql=%s", code, text.c_str(), sql);
        return rows;
    }
    error = 0;
    return rows;
}

void DBWrap::begin() { query("begin", var_list()); }

void DBWrap::commit() { query("commit", var_list()); }
