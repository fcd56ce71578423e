#include "production/RecordStore.h"

#include <sqlite3.h>

#include <filesystem>

#include "base/Folders.h"

namespace zendra {

namespace {

constexpr int kSchemaVersion = 1;
// How long a write waits for another program's write (a second station on the
// same file) before it fails.
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS provision ("
    " id INTEGER PRIMARY KEY,"
    " time TEXT NOT NULL,"
    " station TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " product TEXT NOT NULL,"
    " eui_address TEXT NOT NULL,"
    " firmware_before TEXT NOT NULL,"
    " firmware_after TEXT NOT NULL,"
    " image_sha256 TEXT NOT NULL,"
    " config_sha256 TEXT NOT NULL,"
    " verify TEXT NOT NULL,"
    " seconds REAL NOT NULL,"
    " outcome TEXT NOT NULL,"
    " failed_step TEXT NOT NULL,"
    " message TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS provision_time ON provision(time);"
    "CREATE INDEX IF NOT EXISTS provision_eui ON provision(eui_address COLLATE NOCASE);";

constexpr const char* kColumns =
    "id, time, station, port, product, eui_address, firmware_before, firmware_after, "
    "image_sha256, config_sha256, verify, seconds, outcome, failed_step, message";

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* text = sqlite3_column_text(stmt, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

}  // namespace

std::string RecordStore::DefaultPath() { return UserDataFolder() + "records.db"; }

RecordStore::~RecordStore() { Close(); }

void RecordStore::Close() {
  std::lock_guard lock(mutex_);
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::string RecordStore::Failure(const char* what) const {
  return std::string(what) + " the records database " + path_ + ": " +
         (db_ ? sqlite3_errmsg(db_) : "out of memory");
}

bool RecordStore::Execute(const char* sql, std::string& error) const {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool RecordStore::Open(const std::string& path, std::string& error) {
  Close();
  std::lock_guard lock(mutex_);
  path_ = path;
  if (path == DefaultPath()) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = "cannot open the records database " + path + ": it is a folder";
    return false;
  }
  if (sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    error = Failure("cannot open");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  const auto fail = [&](const std::string& reason) {
    error = "cannot write the records database " + path + ": " + reason;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  };
  // A file the system lets us read only is opened read-only without a word.
  if (sqlite3_db_readonly(db_, "main") == 1) return fail("the file is read-only");
  std::string reason;
  // Write-ahead log: readers and the writer never wait for each other. NORMAL: a
  // commit is in the log file when Append returns, so the program's crash (or a
  // pulled cable, which ends a run) loses no record written; the log is synced to
  // the disk at each checkpoint, not at each commit, which would cost several
  // milliseconds per module (docs/benchmarks.md).
  if (!Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", reason)) return fail(reason);
  if (JournalModeLocked() != "wal") return fail("its folder takes no write-ahead log");
  const std::string setup = std::string("BEGIN IMMEDIATE;") + kSchema +
                            "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
  if (!Execute(setup.c_str(), reason)) {
    std::string ignored;
    Execute("ROLLBACK;", ignored);
    return fail(reason);
  }
  return true;
}

bool RecordStore::OpenForReading(const std::string& path, std::string& error) {
  Close();
  std::lock_guard lock(mutex_);
  path_ = path;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "no records database at " + path;
    return false;
  }
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    error = Failure("cannot open");
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  return true;
}

std::string RecordStore::JournalMode() const {
  std::lock_guard lock(mutex_);
  return JournalModeLocked();
}

std::string RecordStore::JournalModeLocked() const {
  if (!db_) return {};
  Statement s;
  if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode;", -1, &s.stmt, nullptr) != SQLITE_OK ||
      sqlite3_step(s.stmt) != SQLITE_ROW)
    return {};
  return ColumnText(s.stmt, 0);
}

std::optional<std::int64_t> RecordStore::Append(const ProvisionRecord& r, std::string& error) {
  std::lock_guard lock(mutex_);
  if (!db_) {
    error = "the records database is not open";
    return std::nullopt;
  }
  Statement s;
  const char* sql =
      "INSERT INTO provision (time, station, port, product, eui_address, firmware_before, "
      "firmware_after, image_sha256, config_sha256, verify, seconds, outcome, failed_step, "
      "message) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14);";
  if (sqlite3_prepare_v2(db_, sql, -1, &s.stmt, nullptr) != SQLITE_OK) {
    error = Failure("cannot write");
    return std::nullopt;
  }
  BindText(s.stmt, 1, r.time);
  BindText(s.stmt, 2, r.station);
  BindText(s.stmt, 3, r.port);
  BindText(s.stmt, 4, r.product);
  BindText(s.stmt, 5, r.euiAddress);
  BindText(s.stmt, 6, r.firmwareBefore);
  BindText(s.stmt, 7, r.firmwareAfter);
  BindText(s.stmt, 8, r.imageSha256);
  BindText(s.stmt, 9, r.configSha256);
  BindText(s.stmt, 10, r.verify);
  sqlite3_bind_double(s.stmt, 11, r.seconds);
  BindText(s.stmt, 12, r.outcome);
  BindText(s.stmt, 13, r.failedStep);
  BindText(s.stmt, 14, r.message);
  // Without an explicit transaction the statement is one: committed when it
  // returns.
  if (sqlite3_step(s.stmt) != SQLITE_DONE) {
    error = Failure("cannot write");
    return std::nullopt;
  }
  return sqlite3_last_insert_rowid(db_);
}

bool RecordStore::Query(const RecordFilter& filter, std::vector<ProvisionRecord>& records,
                        std::string& error) const {
  std::lock_guard lock(mutex_);
  records.clear();
  if (!db_) {
    error = "the records database is not open";
    return false;
  }
  std::string sql = std::string("SELECT ") + kColumns + " FROM provision WHERE 1";
  if (filter.since) sql += " AND time >= ?1";
  if (filter.euiAddress) sql += " AND eui_address = ?2 COLLATE NOCASE";
  sql += " ORDER BY time, id;";
  Statement s;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s.stmt, nullptr) != SQLITE_OK) {
    error = Failure("cannot read");
    return false;
  }
  if (filter.since) BindText(s.stmt, 1, *filter.since);
  if (filter.euiAddress) BindText(s.stmt, 2, *filter.euiAddress);
  for (;;) {
    const int step = sqlite3_step(s.stmt);
    if (step == SQLITE_DONE) return true;
    if (step != SQLITE_ROW) {
      error = Failure("cannot read");
      return false;
    }
    ProvisionRecord r;
    r.id = sqlite3_column_int64(s.stmt, 0);
    r.time = ColumnText(s.stmt, 1);
    r.station = ColumnText(s.stmt, 2);
    r.port = ColumnText(s.stmt, 3);
    r.product = ColumnText(s.stmt, 4);
    r.euiAddress = ColumnText(s.stmt, 5);
    r.firmwareBefore = ColumnText(s.stmt, 6);
    r.firmwareAfter = ColumnText(s.stmt, 7);
    r.imageSha256 = ColumnText(s.stmt, 8);
    r.configSha256 = ColumnText(s.stmt, 9);
    r.verify = ColumnText(s.stmt, 10);
    r.seconds = sqlite3_column_double(s.stmt, 11);
    r.outcome = ColumnText(s.stmt, 12);
    r.failedStep = ColumnText(s.stmt, 13);
    r.message = ColumnText(s.stmt, 14);
    records.push_back(std::move(r));
  }
}

}  // namespace zendra
