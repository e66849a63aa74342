#include "library/LibraryDb.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace droskal {

namespace {

// "DRKL": tells our index from any other SQLite file.
constexpr int kApplicationId = 0x44524B4C;

const char* const kSchema =
    "CREATE TABLE recordings("
    "  id INTEGER PRIMARY KEY,"
    "  path TEXT NOT NULL UNIQUE,"
    "  size INTEGER NOT NULL,"
    "  mtime_ns INTEGER NOT NULL,"
    "  format INTEGER NOT NULL,"
    "  pictures INTEGER NOT NULL,"
    "  problem TEXT NOT NULL);"
    "CREATE TABLE fixes("
    "  recording INTEGER NOT NULL REFERENCES recordings(id) ON DELETE CASCADE,"
    "  picture INTEGER NOT NULL,"
    "  time REAL,"
    "  valid INTEGER NOT NULL,"
    "  lat REAL NOT NULL,"
    "  lon REAL NOT NULL,"
    "  speed_kmh REAL,"
    "  PRIMARY KEY(recording, picture)) WITHOUT ROWID;";

// The columns every query of this version uses; a file lacking one is not this schema.
const char* const kSchemaProbe[] = {
    "SELECT id, path, size, mtime_ns, format, pictures, problem FROM recordings LIMIT 0",
    "SELECT recording, picture, time, valid, lat, lon, speed_kmh FROM fixes LIMIT 0",
};

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return ok_; }
    sqlite3_stmt* get() const { return stmt_; }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

std::string Message(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

}  // namespace

LibraryDb::~LibraryDb() {
    close();
}

void LibraryDb::close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

bool LibraryDb::exec(const char* sql, std::string& error) const {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : Message(db_);
    sqlite3_free(message);
    return false;
}

bool LibraryDb::isOurs(std::string& why) const {
    auto number = [this](const char* sql, std::int64_t& value) {
        Statement s(db_, sql);
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) return false;
        value = sqlite3_column_int64(s.get(), 0);
        return true;
    };
    std::int64_t app = 0, version = 0, tables = 0;
    if (!number("PRAGMA application_id", app) || !number("PRAGMA user_version", version) ||
        !number("SELECT count(*) FROM sqlite_master", tables)) {
        why = "not an SQLite database (" + Message(db_) + ")";
        return false;
    }
    if (app == 0 && version == 0 && tables == 0) return true;  // new and empty: ours to fill
    if (app != kApplicationId) {
        why = "not a Droskal index";
        return false;
    }
    if (version != kSchemaVersion) {
        why = "index version " + std::to_string(version) + ", this program writes version " +
              std::to_string(kSchemaVersion);
        return false;
    }
    {
        Statement check(db_, "PRAGMA quick_check");
        if (!check.ok() || sqlite3_step(check.get()) != SQLITE_ROW) {
            why = "damaged (" + Message(db_) + ")";
            return false;
        }
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        if (!text || std::string(text) != "ok") {
            why = std::string("damaged (") + (text ? text : "no answer") + ")";
            return false;
        }
    }
    for (const char* probe : kSchemaProbe) {
        Statement s(db_, probe);
        if (!s.ok()) {
            why = "tables not as this program writes them (" + Message(db_) + ")";
            return false;
        }
    }
    return true;
}

bool LibraryDb::create(std::string& error) {
    std::int64_t tables = 0;
    {
        Statement s(db_, "SELECT count(*) FROM sqlite_master");
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
            error = Message(db_);
            return false;
        }
        tables = sqlite3_column_int64(s.get(), 0);
    }
    if (tables > 0) return true;
    const std::string sql = std::string("BEGIN;") + kSchema +
                            "PRAGMA application_id=" + std::to_string(kApplicationId) +
                            ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
    return exec(sql.c_str(), error);
}

bool LibraryDb::open(const std::string& path, std::string& notice, std::string& error) {
    close();
    notice.clear();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            error = path + ": " + Message(db_);
            close();
            return false;
        }
        sqlite3_busy_timeout(db_, 10000);
        std::string why;
        if (isOurs(why)) {
            if (!exec("PRAGMA foreign_keys=ON; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL",
                      error) ||
                !create(error)) {
                error = path + ": " + error;
                close();
                return false;
            }
            return true;
        }
        close();
        if (attempt > 0) break;
        // Never trusted and never thrown away: the file is kept beside the new index.
        const std::string aside = path + ".broken";
        std::error_code ec;
        std::filesystem::rename(path, aside, ec);
        if (ec) {
            error = path + ": " + why + ", and it cannot be moved aside: " + ec.message();
            return false;
        }
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            std::filesystem::remove(path + suffix, ec);
        notice = path + ": " + why + "; moved to " + aside + " and a new index made";
    }
    error = path + ": the new index cannot be made";
    return false;
}

bool LibraryDb::stamps(std::map<std::string, FileStamp>& out, std::string& error) const {
    out.clear();
    Statement s(db_, "SELECT path, size, mtime_ns FROM recordings");
    if (!s.ok()) {
        error = Message(db_);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
        out[p ? p : ""] =
            FileStamp{sqlite3_column_int64(s.get(), 1), sqlite3_column_int64(s.get(), 2)};
    }
    if (rc != SQLITE_DONE) error = Message(db_);
    return rc == SQLITE_DONE;
}

bool LibraryDb::begin(std::string& error) {
    return exec("BEGIN IMMEDIATE", error);
}
bool LibraryDb::commit(std::string& error) {
    return exec("COMMIT", error);
}

bool LibraryDb::remove(const std::string& path, std::string& error) {
    Statement s(db_, "DELETE FROM recordings WHERE path = ?1");
    if (!s.ok()) {
        error = Message(db_);
        return false;
    }
    sqlite3_bind_text(s.get(), 1, path.c_str(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        error = Message(db_);
        return false;
    }
    return true;
}

bool LibraryDb::put(const LibraryRecording& r, std::string& error) {
    if (!remove(r.path, error)) return false;
    Statement row(db_,
                  "INSERT INTO recordings(path, size, mtime_ns, format, pictures, problem) "
                  "VALUES(?1,?2,?3,?4,?5,?6)");
    Statement fix(db_,
                  "INSERT INTO fixes(recording, picture, time, valid, lat, lon, speed_kmh) "
                  "VALUES(?1,?2,?3,?4,?5,?6,?7)");
    if (!row.ok() || !fix.ok()) {
        error = Message(db_);
        return false;
    }
    sqlite3_stmt* s = row.get();
    sqlite3_bind_text(s, 1, r.path.c_str(), static_cast<int>(r.path.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, r.size);
    sqlite3_bind_int64(s, 3, r.mtimeNs);
    sqlite3_bind_int(s, 4, r.picFormat);
    sqlite3_bind_int64(s, 5, r.pictures);
    sqlite3_bind_text(s, 6, r.problem.c_str(), static_cast<int>(r.problem.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(s) != SQLITE_DONE) {
        error = Message(db_);
        return false;
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    s = fix.get();
    for (const LibraryFix& f : r.fixes) {
        fix.reset();
        sqlite3_bind_int64(s, 1, id);
        sqlite3_bind_int64(s, 2, f.picture);
        if (f.time) sqlite3_bind_double(s, 3, *f.time);
        sqlite3_bind_int(s, 4, f.valid ? 1 : 0);
        sqlite3_bind_double(s, 5, f.latitude);
        sqlite3_bind_double(s, 6, f.longitude);
        if (f.speedKmh) sqlite3_bind_double(s, 7, *f.speedKmh);
        if (sqlite3_step(s) != SQLITE_DONE) {
            error = Message(db_);
            return false;
        }
    }
    return true;
}

bool LibraryDb::load(const std::vector<std::string>& paths, std::vector<LibraryRecording>& out,
                     std::string& error) const {
    out.clear();
    Statement row(
        db_,
        "SELECT id, size, mtime_ns, format, pictures, problem FROM recordings WHERE path = ?1");
    Statement fixes(db_,
                    "SELECT picture, time, valid, lat, lon, speed_kmh FROM fixes WHERE recording = "
                    "?1 ORDER BY picture");
    if (!row.ok() || !fixes.ok()) {
        error = Message(db_);
        return false;
    }
    for (const std::string& path : paths) {
        row.reset();
        sqlite3_bind_text(row.get(), 1, path.c_str(), static_cast<int>(path.size()),
                          SQLITE_TRANSIENT);
        if (sqlite3_step(row.get()) != SQLITE_ROW) continue;
        LibraryRecording r;
        r.path = path;
        const std::int64_t id = sqlite3_column_int64(row.get(), 0);
        r.size = sqlite3_column_int64(row.get(), 1);
        r.mtimeNs = sqlite3_column_int64(row.get(), 2);
        r.picFormat = static_cast<std::uint8_t>(sqlite3_column_int(row.get(), 3));
        r.pictures = sqlite3_column_int64(row.get(), 4);
        const auto* problem = reinterpret_cast<const char*>(sqlite3_column_text(row.get(), 5));
        r.problem = problem ? problem : "";
        fixes.reset();
        sqlite3_bind_int64(fixes.get(), 1, id);
        int rc;
        sqlite3_stmt* s = fixes.get();
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            LibraryFix f;
            f.picture = sqlite3_column_int64(s, 0);
            if (sqlite3_column_type(s, 1) != SQLITE_NULL) f.time = sqlite3_column_double(s, 1);
            f.valid = sqlite3_column_int(s, 2) != 0;
            f.latitude = sqlite3_column_double(s, 3);
            f.longitude = sqlite3_column_double(s, 4);
            if (sqlite3_column_type(s, 5) != SQLITE_NULL) f.speedKmh = sqlite3_column_double(s, 5);
            r.fixes.push_back(f);
        }
        if (rc != SQLITE_DONE) {
            error = Message(db_);
            return false;
        }
        out.push_back(std::move(r));
    }
    return true;
}

}  // namespace droskal
