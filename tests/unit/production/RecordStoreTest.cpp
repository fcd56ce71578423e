// The production records database: what is written comes back whole, each record
// is there as soon as Append returns (also for a second program reading the
// file), the listing's filters, and a database that cannot take a write is
// refused when it is opened.

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "production/RecordStore.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

ProvisionRecord Record(const std::string& time, const std::string& eui,
                       const std::string& outcome = "passed") {
  ProvisionRecord r;
  r.time = time;
  r.station = "line-3";
  r.port = "/dev/ttyUSB0";
  r.product = "MA11";
  r.euiAddress = eui;
  r.firmwareBefore = "v1.10.0";
  r.firmwareAfter = "v1.11.0";
  r.imageSha256 = std::string(64, 'a');
  r.configSha256 = std::string(64, 'b');
  r.verify = "passed";
  r.seconds = 41.25;
  r.outcome = outcome;
  r.message = "a \"quoted\", multi\r\nline message";
  return r;
}

std::vector<std::string> Euis(const std::vector<ProvisionRecord>& records) {
  std::vector<std::string> euis;
  for (const auto& r : records) euis.push_back(r.euiAddress);
  return euis;
}

TEST(RecordStore, KeepsEveryFieldOfEachRecordInWriteAheadLogMode) {
  TempFolder folder;
  const std::string path = folder.Path() + "line.db";
  RecordStore store;
  std::string error;
  ASSERT_TRUE(store.Open(path, error)) << error;
  EXPECT_EQ(store.JournalMode(), "wal");
  ProvisionRecord failed = Record("2025-03-14T09:26:53.589Z", "000D6F0000A1B2C4", "failed");
  failed.failedStep = "update";
  failed.firmwareAfter = "";
  failed.verify = "";
  const auto first = store.Append(Record("2025-03-14T09:25:00.000Z", "000D6F0000A1B2C3"), error);
  const auto second = store.Append(failed, error);
  ASSERT_TRUE(first && second) << error;
  EXPECT_LT(*first, *second);

  // A second program reads the file while the line still has it open.
  RecordStore reader;
  ASSERT_TRUE(reader.OpenForReading(path, error)) << error;
  std::vector<ProvisionRecord> records;
  ASSERT_TRUE(reader.Query({}, records, error)) << error;
  ASSERT_EQ(records.size(), 2u);
  failed.id = *second;
  EXPECT_EQ(records[1], failed);
  EXPECT_EQ(records[0].seconds, 41.25);
}

TEST(RecordStore, ListsRecordsSinceATimeAndOfOneAddressInAnyCase) {
  TempFolder folder;
  RecordStore store;
  std::string error;
  ASSERT_TRUE(store.Open(folder.Path() + "line.db", error)) << error;
  // Written out of time order: the listing is by time.
  for (const auto& [time, eui] : std::vector<std::pair<std::string, std::string>>{
           {"2025-03-14T10:00:00.000Z", "000D6F0000000002"},
           {"2025-03-13T23:59:59.999Z", "000D6F0000000001"},
           {"2025-03-14T00:00:00.000Z", "000D6F000000000A"},
           {"2025-03-15T08:00:00.000Z", "000D6F0000000002"}})
    ASSERT_TRUE(store.Append(Record(time, eui), error)) << error;

  std::vector<ProvisionRecord> records;
  ASSERT_TRUE(store.Query({}, records, error));
  EXPECT_THAT(Euis(records), ElementsAre("000D6F0000000001", "000D6F000000000A", "000D6F0000000002",
                                         "000D6F0000000002"));
  ASSERT_TRUE(store.Query({.since = "2025-03-14T00:00:00.000Z"}, records, error));
  EXPECT_THAT(Euis(records),
              ElementsAre("000D6F000000000A", "000D6F0000000002", "000D6F0000000002"));
  ASSERT_TRUE(store.Query({.euiAddress = "000d6f000000000a"}, records, error));
  EXPECT_THAT(Euis(records), ElementsAre("000D6F000000000A"));
  ASSERT_TRUE(store.Query({.since = "2025-03-15T00:00:00.000Z", .euiAddress = "000D6F0000000002"},
                          records, error));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].time, "2025-03-15T08:00:00.000Z");
  ASSERT_TRUE(store.Query({.euiAddress = "000D6F0000000009"}, records, error));
  EXPECT_THAT(records, IsEmpty());
}

TEST(RecordStore, ReopenedKeepsWhatWasWrittenAndAddsToIt) {
  TempFolder folder;
  const std::string path = folder.Path() + "line.db";
  std::string error;
  {
    RecordStore store;
    ASSERT_TRUE(store.Open(path, error)) << error;
    ASSERT_TRUE(store.Append(Record("2025-03-14T09:00:00.000Z", "A"), error));
  }
  RecordStore store;
  ASSERT_TRUE(store.Open(path, error)) << error;
  ASSERT_TRUE(store.Append(Record("2025-03-14T09:01:00.000Z", "B"), error));
  std::vector<ProvisionRecord> records;
  ASSERT_TRUE(store.Query({}, records, error));
  EXPECT_THAT(Euis(records), ElementsAre("A", "B"));
}

TEST(RecordStore, RefusesADatabaseThatCannotBeWrittenWhenItIsOpened) {
  TempFolder folder;
  RecordStore store;
  std::string error;
  // A folder that does not exist (not created for a path of the operator's).
  EXPECT_FALSE(store.Open(folder.Path() + "no/such/folder/line.db", error));
  EXPECT_THAT(error, HasSubstr("cannot open the records database"));
  // A read-only file system, for root too.
  EXPECT_FALSE(store.Open("/proc/zendra-records.db", error));
  EXPECT_THAT(error, HasSubstr("/proc/zendra-records.db"));
  // A folder in the file's place.
  EXPECT_FALSE(store.Open(folder.Path(), error));
  EXPECT_THAT(error, HasSubstr("it is a folder"));
  EXPECT_FALSE(store.IsOpen());

  if (::geteuid() == 0) GTEST_SKIP() << "root may write a read-only file";
  const std::string path = folder.Path() + "line.db";
  ASSERT_TRUE(store.Open(path, error)) << error;
  store.Close();
  ::chmod(path.c_str(), 0444);
  EXPECT_FALSE(store.Open(path, error));
  EXPECT_THAT(error, HasSubstr("cannot write the records database " + path));
  // A folder that takes no new file: the write-ahead log cannot be made.
  const std::string closed = folder.Path() + "closed/";
  std::filesystem::create_directory(closed);
  ::chmod(closed.c_str(), 0555);
  EXPECT_FALSE(store.Open(closed + "line.db", error));
  ::chmod(closed.c_str(), 0755);
}

TEST(RecordStore, ReadingNeedsAnExistingDatabase) {
  TempFolder folder;
  RecordStore store;
  std::string error;
  EXPECT_FALSE(store.OpenForReading(folder.Path() + "none.db", error));
  EXPECT_THAT(error, HasSubstr("no records database at"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "none.db")) << "nothing is created";
}

TEST(RecordStore, TheDefaultFileIsInTheUsersDataFolderWhichIsMadeWhenMissing) {
  TempFolder folder;
  ScopedEnvironment data("XDG_DATA_HOME", folder.Path() + "share");
  EXPECT_EQ(RecordStore::DefaultPath(), folder.Path() + "share/zendra-manager/records.db");
  RecordStore store;
  std::string error;
  ASSERT_TRUE(store.Open(RecordStore::DefaultPath(), error)) << error;
  EXPECT_TRUE(std::filesystem::exists(RecordStore::DefaultPath()));
}

}  // namespace
}  // namespace zendra::test
