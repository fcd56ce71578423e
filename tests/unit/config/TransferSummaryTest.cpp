// The outcome line of an export and an import.

#include <gmock/gmock.h>

#include "config/TransferSummary.h"

namespace zendra {
namespace {

TEST(TransferSummaryTest, AnExportSaysWhatWasWrittenAndWhatCouldNotBeReadWithItsLog) {
  ExportResult all;
  all.exported = 16;
  all.total = 16;
  EXPECT_EQ(TransferSummary::Export(all, "/home/op/bench/a.zgb"),
            "Exported 16 parameters to a.zgb.");
  all.exported = all.total = 1;
  EXPECT_EQ(TransferSummary::Export(all, "a.zgb"), "Exported 1 parameter to a.zgb.");

  ExportResult some;
  some.exported = 7;
  some.total = 16;
  some.failed.assign(9, "G/N");
  some.logPath = "/home/op/bench/ExportErrorLog.TXT";
  EXPECT_EQ(TransferSummary::Export(some, "/home/op/bench/a.zgb"),
            "Exported 7 of 16 parameters to a.zgb; 9 could not be read (listed in "
            "/home/op/bench/ExportErrorLog.TXT).");
  some.logPath.clear();
  EXPECT_EQ(TransferSummary::Export(some, "a.zgb"),
            "Exported 7 of 16 parameters to a.zgb; 9 could not be read (no error log could be "
            "written).");

  for (auto outcome : {ExportResult::Outcome::kNotWritten, ExportResult::Outcome::kStopped}) {
    some.outcome = outcome;
    EXPECT_EQ(TransferSummary::Export(some, "a.zgb"), "");
  }
}

TEST(TransferSummaryTest, AnImportCountsTheValuesSentRefusedAndAlreadyHeld) {
  ImportResult result;
  result.sent = 12;
  EXPECT_EQ(TransferSummary::Import(result, "/x/b.zgb"),
            "Imported b.zgb: 12 values sent, 0 refused.");
  result.sent = 1;
  result.failed.resize(2);
  result.logPath = "/x/ImportErrorLog.TXT";
  result.unchanged = 3;
  EXPECT_EQ(TransferSummary::Import(result, "/x/b.zgb"),
            "Imported b.zgb: 1 value sent, 2 refused (listed in /x/ImportErrorLog.TXT), 3 already "
            "held by the device.");
  for (auto outcome : {ImportResult::Outcome::kInvalidFile, ImportResult::Outcome::kDeclined,
                       ImportResult::Outcome::kStopped}) {
    result.outcome = outcome;
    EXPECT_EQ(TransferSummary::Import(result, "b.zgb"), "");
  }
}

}  // namespace
}  // namespace zendra
