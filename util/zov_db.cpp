// zov_db: see zov_db.h.
#include "zov_db.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <sqlite3.h>

// ====== Lifecycle ======

DBWrap::~DBWrap() { close(); }

void DBWrap::open(const char* fname, int mode) {
    if (mode != DBWRAP_MODE_DEFAULT && mode != DBWRAP_MODE_READONLY) return;
    // Opening over an open handle would lose it for good: close it first.
    close();
    if (!fname) {
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
    // sqlite3_close refuses while a statement that a caller prepared on
    // `_db` itself is still open, and the handle would leak; close_v2 frees
    // the connection once the last such statement is finalized.
    if (sqlite3_close(_db) != SQLITE_OK) sqlite3_close_v2(_db);
    _db = nullptr;
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

    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(_db, sql, (int)strlen(sql), &stmt, nullptr) != SQLITE_OK) {
        fail("sqlite3:prepare [%d] %s; sql=%s\n", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql);
        sqlite3_finalize(stmt);
        return rows;
    }
    if (!stmt) {
        // Blank or comment-only text: SQLite gives no statement and its own
        // error code would read "not an error".
        fail("sqlite3:step [%d] %s; sql=%s", SQLITE_MISUSE, "no statement in the SQL text", sql);
        return rows;
    }
    if (type == VAR_LIST) {
        const std::vector<var>& items = static_cast<_var_list*>(params.value)->value;
        for (size_t i = 0; i < items.size(); i++) {
            std::string text = items[i].__str__();
            if (sqlite3_bind_text(stmt, (int)i + 1, text.data(), (int)text.size(), SQLITE_TRANSIENT) != SQLITE_OK) {
                fail("sqlite3:bind [%d] %s; sql=%s\n", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql);
                sqlite3_finalize(stmt);
                return rows;
            }
        }
    }

    _var_list* list = static_cast<_var_list*>(rows.value);
    std::vector<std::string> names; // the columns, read at the first row
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (names.empty()) {
            int count = sqlite3_column_count(stmt);
            for (int c = 0; c < count; c++) {
                const char* name = sqlite3_column_name(stmt, c);
                names.push_back(name ? name : ""); // null only when out of memory
            }
        }
        _var_dict* row = new _var_dict();
        list->_append(var(row));
        for (size_t c = 0; c < names.size(); c++) {
            // Text first, then its length; a NULL column has no text at all.
            const char* text = (const char*)sqlite3_column_text(stmt, (int)c);
            int bytes = sqlite3_column_bytes(stmt, (int)c);
            // A later column of the same name replaces an earlier one.
            row->value[names[c]] = var(text ? std::string(text, (size_t)bytes) : std::string());
        }
    }
    if (rc != SQLITE_DONE) {
        fail("sqlite3:step [%d] %s; sql=%s", sqlite3_errcode(_db), sqlite3_errmsg(_db), sql);
        sqlite3_finalize(stmt);
        return rows;
    }
    sqlite3_finalize(stmt);
    error = 0;
    return rows;
}

void DBWrap::begin() { query("begin", var_list()); }

void DBWrap::commit() { query("commit", var_list()); }
