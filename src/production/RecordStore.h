#pragma once
// The production records: a SQLite database, one file per station, one row per
// module run (ProvisionRecord).
//
// Each record is written in a transaction of its own as its port finishes, so the
// program's crash or a pulled cable loses no record written before. The file is
// in write-ahead-log mode: a second program reading the records (a report, a
// `zendra-cli records` at the next desk) never blocks the line, and the line never
// blocks it. Open proves the file can be written — it writes the schema version
// in a transaction — so that a database on a read-only path is refused before any
// module is touched, not when the first module has finished.
//
// One store may be used from every port's worker at once: writes are one at a
// time under the store's lock.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/ProvisionRecord.h"

struct sqlite3;

namespace zendra {

// Which records a listing takes.
struct RecordFilter {
  std::optional<std::string> since;       // records at or after this time (RecordTime text)
  std::optional<std::string> euiAddress;  // of this module only (any case)
};

class RecordStore {
 public:
  // The default file: records.db in the user's data folder (UserDataFolder).
  static std::string DefaultPath();

  RecordStore() = default;
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Opens (or creates) the database at `path` for writing, in WAL mode, with the
  // records table. false with the reason in `error` ("cannot open ...: ...",
  // "cannot write ...: ...") when it cannot be opened or written. The folder of
  // the default file is created; any other path's folder must exist.
  bool Open(const std::string& path, std::string& error);
  // Opens an existing database for reading only; false with the reason otherwise.
  bool OpenForReading(const std::string& path, std::string& error);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  const std::string& Path() const { return path_; }

  // Appends `record` in a transaction of its own; its id (and the store's) on
  // success, nullopt with the reason in `error` when it could not be written.
  std::optional<std::int64_t> Append(const ProvisionRecord& record, std::string& error);

  // The records `filter` takes, oldest first. false with the reason in `error`.
  bool Query(const RecordFilter& filter, std::vector<ProvisionRecord>& records,
             std::string& error) const;

  // The database's journal mode ("wal" once opened for writing).
  std::string JournalMode() const;

 private:
  bool Execute(const char* sql, std::string& error) const;
  std::string JournalModeLocked() const;
  std::string Failure(const char* what) const;

  mutable std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::string path_;
};

}  // namespace zendra
