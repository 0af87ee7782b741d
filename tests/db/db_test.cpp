// The SQLite wrapper on real database files in a temporary directory: open
// modes, rows as dicts, text parameters, failures and their messages, locks
// held by a second connection, closing and reopening.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "support/capture.h"
#include "zov_db.h"

namespace fs = std::filesystem;

namespace {

class Db : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "game.db";

    // Opens `db` on `file` with its mode line swallowed.
    void open(DBWrap& db, const std::string& file, int mode = DBWRAP_MODE_DEFAULT) {
        capture([&] { db.open(file.c_str(), mode); });
    }
    // Runs sql on a fresh read-write wrapper of `path`, expecting success.
    var run(const std::string& sql, var params = var_list()) {
        DBWrap db;
        open(db, path);
        var rows;
        capture([&] { rows = db.query(sql.c_str(), params); });
        EXPECT_EQ(db.error, 0) << sql << ": " << db.errmsg;
        return rows;
    }
    // The one column `c` of every row, in order.
    static std::vector<std::string> column(var rows, const char* c) {
        std::vector<std::string> out;
        for (int i = 0; i < rows.__len__(); i++) out.push_back(rows[i][c].__str__());
        return out;
    }
};

// A list of the given values, in order.
var items(std::initializer_list<var> values) {
    var list = var_list();
    for (const var& v : values) list_append(list, v);
    return list;
}

// Runs one query with standard error captured.
struct Result {
    var rows;
    std::string err;
};
Result query(DBWrap& db, const char* sql, var params = var_list()) {
    Result r;
    r.err = capture([&] { r.rows = db.query(sql, params); }).err;
    return r;
}

// ====== Opening and closing ======

TEST_F(Db, OpenCreatesTheFileAndReopenFindsTheData) {
    {
        DBWrap db;
        EXPECT_EQ(capture([&] { db.open(path.c_str(), DBWRAP_MODE_DEFAULT); }).err,
                  "opening " + path + " in READWRITE/CREATE mode\n");
        ASSERT_NE(db._db, nullptr);
        EXPECT_TRUE(fs::exists(path));
        query(db, "create table t (k text, v text)");
        query(db, "insert into t values (?, ?)", var_list(var("hero")));
        EXPECT_EQ(db.error, 0);
        db.close();
        EXPECT_EQ(db._db, nullptr);
        db.close(); // a second close does nothing
    }
    var rows = run("select k, v from t");
    ASSERT_EQ(rows.__len__(), 1);
    EXPECT_EQ(rows[0]["k"], "hero");
    EXPECT_EQ(rows[0]["v"], "") << "an unbound parameter is NULL, read back as empty";
}

TEST_F(Db, ReadOnlyReadsButRefusesWritesWithSqlitesMessage) {
    run("create table t (k text)");
    run("insert into t values ('a')");
    DBWrap db;
    EXPECT_EQ(capture([&] { db.open(path.c_str(), DBWRAP_MODE_READONLY); }).err,
              "opening " + path + " in READONLY mode\n");
    EXPECT_EQ(column(query(db, "select k from t").rows, "k"), std::vector<std::string>{"a"});
    Result r = query(db, "insert into t values ('b')");
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:step [8] attempt to write a readonly database; sql=insert into t values ('b')");
    EXPECT_EQ(r.err, db.errmsg + "\n");
    EXPECT_EQ(column(run("select k from t"), "k"), std::vector<std::string>{"a"});
}

TEST_F(Db, FailedOpenLeavesNoHandleAndNoFile) {
    DBWrap db;
    std::string missing = dir / "missing.db";
    EXPECT_EQ(capture([&] { db.open(missing.c_str(), DBWRAP_MODE_READONLY); }).err,
              "opening " + missing + " in READONLY mode\nCan't open database: unable to open database file\n");
    EXPECT_EQ(db._db, nullptr);
    EXPECT_FALSE(fs::exists(missing)) << "read-only must not create the file";

    std::string nodir = dir / "no/such/dir.db";
    EXPECT_EQ(capture([&] { db.open(nodir.c_str(), DBWRAP_MODE_DEFAULT); }).err,
              "opening " + nodir + " in READWRITE/CREATE mode\nCan't open database: unable to open database file\n");
    EXPECT_EQ(db._db, nullptr);
    EXPECT_EQ(db.error, 0) << "open never touches the query error";
}

// SQLite would open a private temporary database for either name, and
// everything written to it would be gone at close.
TEST_F(Db, NullOrEmptyFileNameIsRefusedInsteadOfATemporaryDatabase) {
    for (const char* name : {(const char*)nullptr, ""}) {
        for (int mode : {DBWRAP_MODE_DEFAULT, DBWRAP_MODE_READONLY}) {
            DBWrap db;
            open(db, path);
            EXPECT_EQ(capture([&] { db.open(name, mode); }).err, "Can't open database: no file name\n");
            EXPECT_EQ(db._db, nullptr) << (name ? "empty" : "null") << " name, mode " << mode;
        }
    }
}

TEST_F(Db, UnknownModeOpensNothingWritesNothingAndKeepsTheOpenDatabase) {
    DBWrap db;
    open(db, path);
    sqlite3* before = db._db;
    std::string other = dir / "other.db";
    EXPECT_EQ(capture([&] { db.open(other.c_str(), 2); }).err, "");
    EXPECT_EQ(db._db, before);
    EXPECT_FALSE(fs::exists(other));
}

// The old handle must really go: its open transaction (and the write lock it
// holds) would otherwise keep every other connection out.
TEST_F(Db, OpeningOverAnOpenDatabaseClosesItFirst) {
    run("create table t (k text)");
    DBWrap db;
    open(db, path);
    query(db, "begin");
    query(db, "insert into t values ('uncommitted')");
    ASSERT_EQ(db.error, 0);
    open(db, dir / "other.db");
    EXPECT_TRUE(run("select k from t").__len__() == 0) << "the open transaction is rolled back";
    run("insert into t values ('free')"); // fails with "database is locked" if the handle leaked
}

// A caller may prepare statements on `_db` directly; closing must neither
// fail on them nor leak the connection (the leak checker watches this).
TEST_F(Db, CloseWithACallersStatementStillOpen) {
    run("create table t (k text)");
    run("insert into t values ('kept')");
    DBWrap db;
    open(db, path);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db._db, "select k from t", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    db.close();
    EXPECT_EQ(db._db, nullptr);
    EXPECT_EQ(sqlite3_finalize(stmt), SQLITE_OK);
    open(db, path);
    EXPECT_EQ(column(query(db, "select k from t").rows, "k"), std::vector<std::string>{"kept"});
}

TEST_F(Db, TransactionsLiveInSqlite) {
    run("create table t (k text)");
    {
        DBWrap db;
        open(db, path);
        capture([&] {
            db.begin();
            for (int i = 0; i < 3; i++) db.query("insert into t values (?)", var_list(var(i)));
            db.commit();
        });
        EXPECT_EQ(db.error, 0);
        capture([&] {
            db.begin();
            db.query("insert into t values ('lost')", var_list());
        });
    } // the destructor closes with the transaction open: it is rolled back
    EXPECT_EQ(column(run("select k from t"), "k"), (std::vector<std::string>{"0", "1", "2"}));
}

// ====== Rows ======

TEST_F(Db, RowsAreDictsOfStringsInSqliteOrder) {
    run("create table t (id integer, name text, score real, note text)");
    run("insert into t values (2, 'b', 1.5, null)");
    run("insert into t values (1, 'a', 10, 'x')");
    var rows = run("select * from t order by id");
    ASSERT_EQ(rows.__type__(), VAR_LIST);
    ASSERT_EQ(rows.__len__(), 2);
    var first = rows[0];
    ASSERT_EQ(first.__type__(), VAR_DICT);
    EXPECT_EQ(first.__len__(), 4);
    EXPECT_EQ(first["id"].__type__(), VAR_STRING) << "rows are not typed";
    EXPECT_EQ(first["id"], "1");
    EXPECT_EQ(first["score"], "10.0") << "SQLite's own text for a real";
    EXPECT_EQ(rows[1]["score"], "1.5");
    EXPECT_EQ(rows[1]["note"].__type__(), VAR_STRING);
    EXPECT_EQ(rows[1]["note"], "") << "NULL arrives as the empty string";
    EXPECT_EQ(run("select count(*) as n from t")[0]["n"], "2");
    EXPECT_EQ(run("select 1 as a, 2 as a")[0].__len__(), 1);
    EXPECT_EQ(run("select 1 as a, 2 as a")[0]["a"], "2") << "a later column of the same name wins";
    EXPECT_EQ(run("select * from t where id > 5").__len__(), 0);
}

TEST_F(Db, OnlyTheFirstStatementRuns) {
    run("create table t (k text)");
    run("insert into t values ('a'); insert into t values ('b')");
    EXPECT_EQ(column(run("select k from t"), "k"), std::vector<std::string>{"a"});
}

// ====== Parameters ======

TEST_F(Db, TextParametersKeepEveryByte) {
    run("create table t (k text)");
    std::vector<std::string> values = {
        "O'Brien said \"hi\"; drop table t; --",
        std::string("nul\0inside\0", 11),
        std::string(1 << 20, 'x') + "end",
        "",
        "caf\xC3\xA9 \xFF",
    };
    for (const std::string& v : values) run("insert into t values (?)", var_list(var(v)));
    EXPECT_EQ(column(run("select k from t order by rowid"), "k"), values);
    EXPECT_EQ(run("select count(*) as n from t where k = ?", var_list(var(values[0])))[0]["n"], "1");
}

TEST_F(Db, ParametersBindTheirStringFormInOrder) {
    var rows = run("select ? as a, ? as b, ? as c, ? as d, ? as e",
                   items({var(3), var(1.5), var(true), var("s")}));
    EXPECT_EQ(rows[0]["a"], "3");
    EXPECT_EQ(rows[0]["b"], "1.5");
    EXPECT_EQ(rows[0]["c"], "True");
    EXPECT_EQ(rows[0]["d"], "s");
    EXPECT_EQ(rows[0]["e"], "") << "too few items leave the rest NULL";
    EXPECT_EQ(run("select ? as a", var())[0]["a"], "") << "none binds nothing";
    // Up to six items, across the four whose texts are kept off the heap.
    var params = var_list();
    std::string sql = "select ''", expected;
    for (const std::string& item : std::vector<std::string>{"a", "2", "c", "4", std::string(100, 'e'), "f"}) {
        list_append(params, var(item));
        sql += "||?";
        expected += item;
        EXPECT_EQ(run(sql + " as s", params)[0]["s"], expected) << params.__len__() << " items";
    }
}

TEST_F(Db, TooManyParametersFailAtTheBind) {
    run("create table t (k text)");
    DBWrap db;
    open(db, path);
    Result r = query(db, "insert into t values (?)", items({var("a"), var("b")}));
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:bind [25] column index out of range; sql=insert into t values (?)\n");
    EXPECT_EQ(r.err, db.errmsg + "\n") << "the bind message ends in its own line break";
    EXPECT_EQ(r.rows.__len__(), 0);
    EXPECT_EQ(run("select * from t").__len__(), 0) << "nothing ran";
}

TEST_F(Db, ParametersThatAreNotAListAreRefusedAndLeftAlone) {
    DBWrap db;
    open(db, path);
    var params = var_dict(var("x"), var(1));
    Result r = query(db, "select ? as a", params);
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:bind [21] parameters must be a list, not a dict; sql=select ? as a\n");
    EXPECT_EQ(params.__len__(), 1) << "the caller's dict gains no keys";
    query(db, "select ? as a", var("text"));
    EXPECT_EQ(db.errmsg, "sqlite3:bind [21] parameters must be a list, not a string; sql=select ? as a\n");
}

// ====== Failures ======

TEST_F(Db, PrepareFailuresGiveSqlitesMessage) {
    DBWrap db;
    open(db, path);
    Result r = query(db, "selec 1");
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:prepare [1] near \"selec\": syntax error; sql=selec 1\n");
    EXPECT_EQ(r.err, db.errmsg + "\n");
    EXPECT_EQ(r.rows.__type__(), VAR_LIST);
    EXPECT_EQ(r.rows.__len__(), 0);
    query(db, "select * from nope");
    EXPECT_EQ(db.errmsg, "sqlite3:prepare [1] no such table: nope; sql=select * from nope\n");

    // A later success clears the flag but keeps the message.
    EXPECT_EQ(query(db, "select 1 as one").rows[0]["one"], "1");
    EXPECT_EQ(db.error, 0);
    EXPECT_EQ(db.errmsg, "sqlite3:prepare [1] no such table: nope; sql=select * from nope\n");
}

TEST_F(Db, StepFailuresKeepTheRowsReadSoFar) {
    run("create table t (v integer)");
    for (const char* v : {"1", "-2", "3", "-9223372036854775808", "5"}) run("insert into t values (?)", var_list(var(v)));
    DBWrap db;
    open(db, path);
    Result r = query(db, "select abs(v) as a from t order by rowid");
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:step [1] integer overflow; sql=select abs(v) as a from t order by rowid");
    EXPECT_EQ(r.err, db.errmsg + "\n");
    EXPECT_EQ(column(r.rows, "a"), (std::vector<std::string>{"1", "2", "3"}));

    run("create table u (k text unique)");
    run("insert into u values ('a')");
    query(db, "insert into u values ('a')");
    EXPECT_EQ(db.errmsg, "sqlite3:step [19] UNIQUE constraint failed: u.k; sql=insert into u values ('a')");
}

TEST_F(Db, EmptyOrNullSqlFailsAtTheStep) {
    DBWrap db;
    open(db, path);
    for (const char* sql : {"", "  -- only a comment", (const char*)nullptr}) {
        Result r = query(db, sql, items({var(1)}));
        EXPECT_EQ(db.error, 1) << (sql ? sql : "(null)");
        EXPECT_EQ(db.errmsg, std::string("sqlite3:step [21] no statement in the SQL text; sql=") + (sql ? sql : ""));
        EXPECT_EQ(r.err, db.errmsg + "\n");
        EXPECT_EQ(r.rows.__len__(), 0);
    }
}

// Statements are kept for reuse, but none stays running past its query,
// whatever the outcome, and none keeps another connection from writing.
TEST_F(Db, NoStatementIsLeftRunningAfterAnyQuery) {
    run("create table t (v integer)");
    run("insert into t values ('-9223372036854775808')");
    DBWrap db;
    open(db, path);
    for (const char* sql : {"select v from t", "selec", "select ?", "select abs(v) from t", ""}) {
        query(db, sql, items({var(1), var(2)}));
        for (sqlite3_stmt* s = sqlite3_next_stmt(db._db, nullptr); s; s = sqlite3_next_stmt(db._db, s))
            EXPECT_FALSE(sqlite3_stmt_busy(s)) << sql << " left " << sqlite3_sql(s);
        run("insert into t values (1)");
    }
}

TEST_F(Db, ALongFailureMessageIsCutToItsBuffer) {
    DBWrap db;
    open(db, path);
    std::string sql = "selec " + std::string(3000, 'x');
    Result r = query(db, sql.c_str());
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg.size(), 1023u);
    EXPECT_EQ(db.errmsg.rfind("sqlite3:prepare [1] near \"selec\": syntax error; sql=selec xxx", 0), 0u);
    EXPECT_EQ(r.err, db.errmsg + "\n");
}

// Two connections to one file: the second one's open write transaction
// locks the first out until it commits.
TEST_F(Db, ALockedDatabaseFailsAndWorksAgainOnceFreed) {
    run("create table t (k text)");
    DBWrap a, b;
    open(a, path);
    open(b, path);
    query(b, "begin");
    query(b, "insert into t values ('b')");
    ASSERT_EQ(b.error, 0);
    Result r = query(a, "insert into t values ('a')");
    EXPECT_EQ(a.error, 1);
    EXPECT_EQ(a.errmsg, "sqlite3:step [5] database is locked; sql=insert into t values ('a')");
    EXPECT_EQ(r.err, a.errmsg + "\n");
    query(b, "commit");
    query(a, "insert into t values ('a')");
    EXPECT_EQ(a.error, 0);
    EXPECT_EQ(column(query(a, "select k from t order by rowid").rows, "k"), (std::vector<std::string>{"b", "a"}));
}

// ====== Kept statements ======

// A kept statement starts each query from no parameters: the ones a query
// leaves out are NULL, never the previous query's values.
TEST_F(Db, AKeptStatementIsReboundFromScratch) {
    run("create table t (a text, b text)");
    DBWrap db;
    open(db, path);
    const char* insert = "insert into t values (?, ?)";
    query(db, insert, items({var("a1"), var("b1")}));
    query(db, insert, items({var("a2")}));
    query(db, insert, items({var("x"), var("y"), var("z")}));
    EXPECT_EQ(db.errmsg, "sqlite3:bind [25] column index out of range; sql=insert into t values (?, ?)\n");
    query(db, insert, var());
    EXPECT_EQ(db.error, 0) << "usable again after a failed bind";
    var rows = query(db, "select a, b is null as unbound from t order by rowid").rows;
    EXPECT_EQ(column(rows, "a"), (std::vector<std::string>{"a1", "a2", ""}));
    EXPECT_EQ(column(rows, "unbound"), (std::vector<std::string>{"0", "1", "1"}));
}

TEST_F(Db, AKeptStatementFailsAndRecoversAsAFreshOne) {
    run("create table u (k text unique)");
    DBWrap db;
    open(db, path);
    const char* insert = "insert into u values (?)";
    query(db, insert, items({var("a")}));
    query(db, insert, items({var("a")}));
    EXPECT_EQ(db.errmsg, "sqlite3:step [19] UNIQUE constraint failed: u.k; sql=insert into u values (?)");
    query(db, insert, items({var("b")}));
    EXPECT_EQ(db.error, 0);

    // A table dropped and made again on this connection: the failure is the
    // prepare's, as without the cache, and then the new columns come back.
    const char* select = "select * from u";
    EXPECT_EQ(query(db, select).rows.__len__(), 2);
    query(db, "drop table u");
    Result r = query(db, select);
    EXPECT_EQ(db.error, 1);
    EXPECT_EQ(db.errmsg, "sqlite3:prepare [1] no such table: u; sql=select * from u\n");
    EXPECT_EQ(r.err, db.errmsg + "\n");
    query(db, "create table u (x text, y text)");
    query(db, "insert into u values ('1', '2')");
    var rows = query(db, select).rows;
    ASSERT_EQ(rows.__len__(), 1);
    EXPECT_EQ(rows[0].__len__(), 2);
    EXPECT_EQ(rows[0]["y"], "2");
}

// Statements belong to their connection: closing or opening another file
// finalizes them, and the same SQL then reads the new file.
TEST_F(Db, CloseAndReopenFinalizeTheKeptStatements) {
    std::string other = dir / "other.db";
    for (const std::string* file : {&path, &other}) {
        DBWrap db;
        open(db, *file);
        query(db, "create table t (k text)");
        query(db, "insert into t values (?)", items({var(*file)}));
    }
    const char* select = "select k from t";
    DBWrap db;
    open(db, path); // warms SQLite up, so that the count below is ours alone
    db.close();
    sqlite3_int64 before = sqlite3_memory_used();
    open(db, path);
    EXPECT_EQ(column(query(db, select).rows, "k"), std::vector<std::string>{path});
    db.close();
    EXPECT_EQ(sqlite3_memory_used(), before) << "the connection is freed, not left open by a statement";
    open(db, path);
    query(db, select);
    open(db, other);
    EXPECT_EQ(column(query(db, select).rows, "k"), std::vector<std::string>{other});
}

// The statements on a connection, by their SQL text.
std::multiset<std::string> statements(sqlite3* db) {
    std::multiset<std::string> out;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) out.insert(sqlite3_sql(s));
    return out;
}

TEST_F(Db, TheCacheKeepsTheMostRecentlyUsedStatements) {
    DBWrap db;
    open(db, path);
    auto sql = [](int i) { return "select " + std::to_string(i) + " as n"; };
    for (int i = 0; i < DBWRAP_CACHED_STATEMENTS; i++) query(db, sql(i).c_str());
    query(db, sql(0).c_str()); // now the most recently used
    query(db, sql(100).c_str());
    std::multiset<std::string> kept = statements(db._db);
    EXPECT_EQ(kept.size(), (size_t)DBWRAP_CACHED_STATEMENTS);
    EXPECT_TRUE(kept.count(sql(0)));
    EXPECT_TRUE(kept.count(sql(100)));
    EXPECT_FALSE(kept.count(sql(1))) << "the least recently used one goes";
    EXPECT_EQ(query(db, sql(1).c_str()).rows[0]["n"], "1") << "and is prepared again when needed";
    EXPECT_EQ(statements(db._db).size(), (size_t)DBWRAP_CACHED_STATEMENTS);
}

// A statement is found by its whole text: one that only begins another, or
// differs from it in the last byte, is a statement of its own.
TEST_F(Db, KeptStatementsAreFoundByTheirWholeText) {
    const char* pairs[][2] = {
        {"select 1 as nn", "select 1 as n"},
        {"select 1 as a", "select 1 as b"},
    };
    for (auto& pair : pairs) {
        DBWrap db;
        open(db, path);
        for (const char* sql : {pair[0], pair[1], pair[0]}) {
            var rows = query(db, sql).rows;
            const char* name = strrchr(sql, ' ') + 1;
            EXPECT_EQ(rows[0].__len__(), 1) << sql << " after " << pair[0];
            EXPECT_EQ(rows[0][name], "1") << sql << " after " << pair[0];
        }
    }
}

// A caller's SQL function again(), which runs `action` when called from a
// query (not from one that it runs itself) and gives `result`.
struct Reentry {
    std::function<void()> action;
    int result = 0;
    int depth = 0;
};

void run_again(sqlite3_context* context, int, sqlite3_value**) {
    Reentry* r = static_cast<Reentry*>(sqlite3_user_data(context));
    if (r->depth++ == 0) r->action();
    r->depth--;
    sqlite3_result_int(context, r->result);
}

void add_again(DBWrap& db, Reentry& r) {
    ASSERT_EQ(sqlite3_create_function(db._db, "again", 0, SQLITE_UTF8, &r, run_again, nullptr, nullptr), SQLITE_OK);
}

// The same SQL run again while SQLite is inside it: each run has its own
// statement and its own parameters, and only one statement stays kept.
TEST_F(Db, AQueryRunFromInsideTheSameSqlGetsItsOwnStatement) {
    run("create table t (k text)");
    run("insert into t values ('a')");
    run("insert into t values ('b')");
    DBWrap db;
    open(db, path);
    const char* sql = "select k, ? as p, again() as n from t order by k";
    var inner;
    Reentry r;
    r.action = [&] {
        inner = db.query(sql, var_list(var("inner")));
        r.result = inner.__len__();
    };
    add_again(db, r);
    var rows = query(db, sql, var_list(var("outer"))).rows;
    EXPECT_EQ(db.error, 0) << db.errmsg;
    EXPECT_EQ(column(rows, "k"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(column(rows, "p"), (std::vector<std::string>{"outer", "outer"}));
    EXPECT_EQ(column(rows, "n"), (std::vector<std::string>{"2", "2"}));
    EXPECT_EQ(column(inner, "p"), (std::vector<std::string>{"inner", "inner"}));
    EXPECT_EQ(statements(db._db), std::multiset<std::string>{sql});
}

// A query run from inside another one, with a new text and every slot
// taken: the least recently used idle statement goes, never the running one
// (which has the oldest stamp here).
TEST_F(Db, AQueryFromInsideAnotherNeverEvictsTheRunningStatement) {
    DBWrap db;
    open(db, path);
    // All on the heap, where the address checker sees a statement freed
    // while it runs.
    ASSERT_EQ(sqlite3_db_config(db._db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0), SQLITE_OK);
    auto sql = [](int i) { return "select " + std::to_string(i) + " as n"; };
    for (int i = 1; i < DBWRAP_CACHED_STATEMENTS; i++) query(db, sql(i).c_str());
    var inner;
    Reentry r;
    r.action = [&] { inner = db.query("select 'inner' as n", var_list()); };
    add_again(db, r);
    const char* outer = "select again() as n";
    EXPECT_EQ(column(query(db, outer).rows, "n"), std::vector<std::string>{"0"});
    EXPECT_EQ(column(inner, "n"), std::vector<std::string>{"inner"});
    std::multiset<std::string> kept = statements(db._db);
    EXPECT_EQ(kept.count(outer), 1u);
    EXPECT_FALSE(kept.count(sql(1))) << "the least recently used idle one goes";
}

// Closing from inside a query leaves the running statement to that query,
// which finalizes it at its end (the leak checker sees the connection go).
TEST_F(Db, ClosingFromInsideAQueryLetsItFinish) {
    run("create table t (k text)");
    run("insert into t values ('a')");
    DBWrap db;
    open(db, path);
    // Without lookaside memory every statement is on the heap, where the
    // address checker sees a statement freed while it runs.
    ASSERT_EQ(sqlite3_db_config(db._db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0), SQLITE_OK);
    Reentry r;
    r.action = [&] { db.close(); };
    add_again(db, r);
    const char* sql = "select k, again() as n from t";
    EXPECT_EQ(column(query(db, sql).rows, "k"), std::vector<std::string>{"a"});
    EXPECT_EQ(db._db, nullptr);
    open(db, path);
    EXPECT_EQ(column(query(db, "select k from t").rows, "k"), std::vector<std::string>{"a"});
}

// Writing into a database that never opened must not pass for a success:
// the data would be lost without a word.
TEST_F(Db, QueryWithoutAnOpenDatabaseIsReportedAsAFailure) {
    DBWrap fresh;
    EXPECT_EQ(fresh._db, nullptr);
    EXPECT_EQ(fresh.error, 0);
    EXPECT_EQ(fresh.errmsg, "");
    Result r = query(fresh, "insert into t values ('x')");
    EXPECT_EQ(fresh.error, 1);
    EXPECT_EQ(fresh.errmsg, "sqlite3:query [21] no database is open; sql=insert into t values ('x')");
    EXPECT_EQ(r.err, fresh.errmsg + "\n");
    EXPECT_EQ(r.rows.__len__(), 0);

    DBWrap failed;
    open(failed, dir / "no/such/dir.db");
    query(failed, "select 1");
    EXPECT_EQ(failed.error, 1);
    EXPECT_EQ(failed.errmsg, "sqlite3:query [21] no database is open; sql=select 1");
}

} // namespace
