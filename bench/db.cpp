// DBWrap against the sqlite3 C API doing the same work on the same file:
// 100,000 rows (an integer, a text, a real) inserted in one transaction, then
// all of them read back as text.  The C API peer prepares its insert once,
// binds typed values and reuses the statement; a second C API run binds
// every value as text, as DBWrap must, to split the wrapper's overhead into
// what text parameters cost SQLite and what the wrapper adds.
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "zov_db.h"

namespace {

const int ROWS = 100000;
const char* const CREATE = "create table t (id integer, name text, score real)";
const char* const INSERT = "insert into t values (?, ?, ?)";
const char* const SELECT = "select id, name, score from t";

// A fresh directory for the benchmark's database files, removed at exit.
const std::string& bench_dir() {
    static std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "zovbench.XXXXXX").string();
        if (!mkdtemp(&pattern[0])) std::abort();
        std::atexit([] { std::filesystem::remove_all(bench_dir()); });
        return pattern;
    }();
    return dir;
}

std::string row_name(int i) { return "player-" + std::to_string(i); }
double row_score(int i) { return i * 0.5; }

// An empty database file holding the table, opened through the C API.
sqlite3* fresh_db(const std::string& path) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, CREATE, nullptr, nullptr, nullptr);
    return db;
}

void set_counters(benchmark::State& state) {
    state.SetItemsProcessed((int64_t)state.iterations() * ROWS);
}

// ====== Insert ======

void BM_DBWrapInsert(benchmark::State& state) {
    std::string path = bench_dir() + "/wrap.db";
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_close(fresh_db(path));
        DBWrap db;
        db.open(path.c_str(), DBWRAP_MODE_DEFAULT);
        state.ResumeTiming();
        db.begin();
        for (int i = 0; i < ROWS; i++) {
            var params = var_list(var(i));
            list_append(params, var(row_name(i)));
            list_append(params, var(row_score(i)));
            db.query(INSERT, params);
        }
        db.commit();
        if (db.error) state.SkipWithError(db.errmsg.c_str());
        state.PauseTiming();
        db.close();
        state.ResumeTiming();
    }
    set_counters(state);
}

// The C API as its own documentation shows it: one prepared statement,
// reset between rows, bound by `bind`.
template <class Bind>
void sqlite_insert(benchmark::State& state, const char* file, Bind bind) {
    std::string path = bench_dir() + file;
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = fresh_db(path);
        state.ResumeTiming();
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, INSERT, -1, &stmt, nullptr);
        for (int i = 0; i < ROWS; i++) {
            bind(stmt, i);
            if (sqlite3_step(stmt) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    set_counters(state);
}

// Typed binds: the peer.
void BM_SqliteInsert(benchmark::State& state) {
    sqlite_insert(state, "/peer.db", [](sqlite3_stmt* stmt, int i) {
        std::string name = row_name(i);
        sqlite3_bind_int(stmt, 1, i);
        sqlite3_bind_text(stmt, 2, name.data(), (int)name.size(), SQLITE_TRANSIENT);
        sqlite3_bind_double(stmt, 3, row_score(i));
    });
}

// Every value bound as text, as DBWrap must, and as cheaply as the C API
// allows (no copies): SQLite then converts the number texts to the
// columns' types.  Not a peer; it shows what text parameters cost by
// themselves.
void BM_SqliteInsertAsText(benchmark::State& state) {
    sqlite_insert(state, "/peer2.db", [](sqlite3_stmt* stmt, int i) {
        static std::string id, name;
        static char score[32];
        id = std::to_string(i);
        name = row_name(i);
        int n = (int)(std::to_chars(score, score + sizeof score, row_score(i), std::chars_format::fixed, 1).ptr - score);
        sqlite3_bind_text(stmt, 1, id.data(), (int)id.size(), SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, name.data(), (int)name.size(), SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, score, n, SQLITE_STATIC);
    });
}

// ====== Read back ======

// The file both readers use, filled once.
const std::string& filled_db() {
    static std::string path = [] {
        std::string p = bench_dir() + "/filled.db";
        sqlite3* db = fresh_db(p);
        sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, INSERT, -1, &stmt, nullptr);
        for (int i = 0; i < ROWS; i++) {
            std::string name = row_name(i);
            sqlite3_bind_int(stmt, 1, i);
            sqlite3_bind_text(stmt, 2, name.data(), (int)name.size(), SQLITE_TRANSIENT);
            sqlite3_bind_double(stmt, 3, row_score(i));
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return p;
    }();
    return path;
}

void BM_DBWrapSelect(benchmark::State& state) {
    DBWrap db;
    db.open(filled_db().c_str(), DBWRAP_MODE_READONLY);
    for (auto _ : state) {
        var rows = db.query(SELECT, var_list());
        if (rows.__len__() != ROWS) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows.value);
    }
    set_counters(state);
}

// Every value copied out as text, as DBWrap gives it, into plain vectors.
void BM_SqliteSelect(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(filled_db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, SELECT, -1, &stmt, nullptr);
        int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            row.reserve(columns);
            for (int c = 0; c < columns; c++) {
                const char* text = (const char*)sqlite3_column_text(stmt, c);
                row.emplace_back(text ? text : "", (size_t)sqlite3_column_bytes(stmt, c));
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        if (rows.size() != (size_t)ROWS) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows.data());
    }
    sqlite3_close(db);
    set_counters(state);
}

} // namespace

BENCHMARK(BM_DBWrapInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteInsert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteInsertAsText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DBWrapSelect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteSelect)->Unit(benchmark::kMillisecond);
