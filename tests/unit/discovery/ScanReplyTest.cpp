// The network scan's reply: which lines become rows and what each column shows, and
// when the collected text ends the scan.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "discovery/ScanReply.h"
#include "discovery/ScanReplyWatch.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

DeviceRecord Row(std::string type, std::string address, std::string version, std::string model,
                 std::string name) {
  return {std::move(type), std::move(address), std::move(version), std::move(model),
          std::move(name)};
}

TEST(ParseScanReply, ReadsTheKitchenNodeRecord) {
  EXPECT_THAT(ParseScanReply("FFD|0123456789ABCDEF|1234|1.0.5 |MA11|Kitchen node\r\nOK\r\n"),
              ElementsAre(Row("FFD", "0123456789ABCDEF", "1.0.5", "MA11", "Kitchen node")));
}

struct LineCase {
  const char* name;
  const char* line;
  DeviceRecord row;
};

class OneRecordLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(OneRecordLine, GivesItsColumns) {
  EXPECT_THAT(ParseScanReply(GetParam().line), ElementsAre(GetParam().row));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OneRecordLine,
    ::testing::Values(
        LineCase{"NameKeepsSpacesAndBars", "FFD|A1|7|2.0|MB11|Hall | left  wing \r\n",
                 Row("FFD", "A1", "2.0", "MB11", "Hall | left  wing ")},
        LineCase{"PaddedFieldsAreCutAtTheirFirstSpace", "RFD x|A1 B2|7|1.0.5   |MA21 v|N\r\n",
                 Row("RFD", "A1", "1.0.5", "MA21", "N")},
        // A cut, not a trim: a field that begins with a space shows nothing.
        LineCase{"LeadingSpaceEmptiesAField", "FFD| A1|7|2.0|MB11|N\r\n",
                 Row("FFD", "", "2.0", "MB11", "N")},
        LineCase{"FiveSeparatorsAndNoName", "FFD|A1|7|2.0|MB11|\r\n",
                 Row("FFD", "A1", "2.0", "MB11", "")},
        // Missing fields: the middle columns stay empty, the last text is the name.
        LineCase{"ThreeFields", "FFD|A1|Porch\r\n", Row("FFD", "A1", "", "", "Porch")},
        LineCase{"TwoFields", "SED|Porch\r\n", Row("SED", "", "", "", "Porch")},
        LineCase{"OnlyABar", "|\r\n", Row("", "", "", "", "")},
        LineCase{"SurplusFieldsStayInTheName", "FFD|A1|7|2.0|MB11|Lab|extra|9\r\n",
                 Row("FFD", "A1", "2.0", "MB11", "Lab|extra|9")},
        LineCase{"NameEndsAtItsFirstCr", "FFD|A1|7|2.0|MB11|Lab\rjunk\r\n",
                 Row("FFD", "A1", "2.0", "MB11", "Lab")},
        LineCase{"LineEndWithoutCr", "FFD|A1|7|2.0|MB11|Lab\n",
                 Row("FFD", "A1", "2.0", "MB11", "Lab")},
        LineCase{"FinalPieceWithoutLineEnd", "at+ds\r\nFFD|A1|7|2.0|MB11|Lab",
                 Row("FFD", "A1", "2.0", "MB11", "Lab")}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ParseScanReply, MarkedLinesTakeNoRow) {
  const auto rows = ParseScanReply(
      "FFD|A0|1|1.0|MA11|first\r\n"
      "*FFD|A1|1|1.0|MA11|star\r\n"
      "xCLDx|A2|1|1.0|MA11|cld\r\n"
      "CHD|A3|1|1.0|MA11|chd\r\n"
      "cld|A4|1|1.0|MA11|lower case is no marker\r\n"
      "RFD|A5*|1|1.0|CHD|a marker after the first field\r\n"
      "OK\r\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].ieeeAddress, "A0");
  EXPECT_EQ(rows[1].ieeeAddress, "A4");
  EXPECT_EQ(rows[2].ieeeAddress, "A5*");
}

TEST(ParseScanReply, LinesWithoutBarAreNoDevices) {
  EXPECT_THAT(ParseScanReply(""), IsEmpty());
  EXPECT_THAT(ParseScanReply("OK"), IsEmpty());
  EXPECT_THAT(ParseScanReply("ERROR"), IsEmpty());
  EXPECT_THAT(ParseScanReply("at+ds\r\r\n\r\n\nOK\r\n"), IsEmpty());
  EXPECT_THAT(ParseScanReply("at+ds\r\nFFD|A1|7|2.0|MB11|Lab\r\n\r\nOK"),
              ElementsAre(Row("FFD", "A1", "2.0", "MB11", "Lab")));
}

// No fixed table: every record of a large network becomes a row, in reply order.
TEST(ParseScanReply, AThousandRecordsKeepTheirOrder) {
  std::string reply = "at+ds\r\n";
  for (int i = 0; i < 1000; ++i)
    reply += "RFD|" + std::to_string(100000 + i) + "|0001|v1.0|MA11|Node " + std::to_string(i) + "\r\n";
  reply += "OK\r\n";
  const auto rows = ParseScanReply(reply);
  ASSERT_EQ(rows.size(), 1000u);
  for (int i : {0, 255, 256, 999}) {
    EXPECT_EQ(rows[i].ieeeAddress, std::to_string(100000 + i));
    EXPECT_EQ(rows[i].nodeName, "Node " + std::to_string(i));
  }
}

struct JudgeCase {
  const char* name;
  const char* reply;
  ScanReplyState state;
};

class Judge : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(Judge, DecidesOnWholeLinesOnly) {
  EXPECT_EQ(JudgeScanReply(GetParam().reply), GetParam().state);
}

constexpr auto kPending = ScanReplyState::kPending;
constexpr auto kComplete = ScanReplyState::kComplete;
constexpr auto kFailed = ScanReplyState::kFailed;

INSTANTIATE_TEST_SUITE_P(
    Replies, Judge,
    ::testing::Values(JudgeCase{"Nothing", "", kPending}, JudgeCase{"OkLine", "OK\r\n", kComplete},
                      JudgeCase{"OkLineWithoutCr", "OK\n", kComplete},
                      JudgeCase{"OkWithoutLineEnd", "FFD|A1|7|2.0|MB11|Lab\r\nOK", kComplete},
                      JudgeCase{"OkWithCrOnly", "OK\r", kComplete},
                      JudgeCase{"HalfAnOk", "FFD|A1|7|2.0|MB11|Lab\r\nO", kPending},
                      JudgeCase{"OkInsideAName", "FFD|A1|7|2.0|MB11|BOOKSHELF\r\n", kPending},
                      JudgeCase{"NameStartingWithOk", "FFD|A1|7|2.0|MB11|OK lab\r\n", kPending},
                      JudgeCase{"NameStartingWithError", "FFD|A1|7|2.0|MB11|ERROR room\r\n",
                                kPending},
                      JudgeCase{"NameStillArriving", "FFD|A1|7|2.0|MB11|OK", kPending},
                      JudgeCase{"ErrorLine", "ERROR\r\n", kFailed},
                      JudgeCase{"ErrorWithoutLineEnd", "\r\nERROR", kFailed},
                      JudgeCase{"ErrorAfterRecords", "FFD|A1|7|2.0|MB11|Lab\r\nERROR\r\n", kFailed},
                      JudgeCase{"FirstDecidingLineWinsOk", "OK\r\nERROR\r\n", kComplete},
                      JudgeCase{"FirstDecidingLineWinsError", "ERROR\r\nOK\r\n", kFailed},
                      JudgeCase{"LowerCase", "ok\r\nerror\r\n", kPending},
                      JudgeCase{"Blanks", " OK\r\nOK \r\nERROR \r\n", kPending},
                      // A CR ends a line as an LF does, as in every transaction.
                      JudgeCase{"CrEndsALineToo", "OK\r\r\n", kComplete},
                      JudgeCase{"OkAfterACrInsideARecord", "FFD|A1|7|2.0|MB11|Lab\rOK\r\n",
                                kComplete},
                      JudgeCase{"OkBeginningALongerLine", "FFD|A1|7|2.0|MB11|Lab\r\nOKAY\r\n",
                                kPending},
                      JudgeCase{"OkAfterAnOkayLine", "OKAY|A1|7|2.0|MB11|Lab\r\nOK", kComplete}),
    [](const auto& p) { return std::string(p.param.name); });

// The collector waits for the rest of the deciding line: it must know where it starts.
TEST(JudgeScanReply, TellsWhereTheDecidingLineStarts) {
  std::size_t at = 99;
  EXPECT_EQ(JudgeScanReply("FFD|A1|7|2.0|MB11|BOOKSHELF\r\nOK", &at), kComplete);
  EXPECT_EQ(at, 29u);
  EXPECT_EQ(JudgeScanReply("\r\nERROR\r\nOK\r\n", &at), kFailed);
  EXPECT_EQ(at, 2u);
  at = 99;
  EXPECT_EQ(JudgeScanReply("FFD|A1|7|2.0|MB11|OK lab\r\n", &at), kPending);
  EXPECT_EQ(at, 99u) << "untouched while nothing is decided";
}

// The module's answer arrives in pieces; the collector judges after every piece.
TEST(JudgeScanReply, APieceEndingInsideANameNeverEndsTheScan) {
  const std::string reply =
      "FFD|0123456789ABCDEF|1234|1.0.5 |MA11|BOOKSHELF\r\n"
      "RFD|0123456789ABCDF0|1234|1.0.5 |MA11|OK lab\r\n"
      "SED|0123456789ABCDF1|1234|1.0.5 |MB21|ERROR room\r\n"
      "OK\r\n";
  const std::size_t ok = reply.rfind("OK");
  for (std::size_t n = 0; n <= reply.size(); ++n)
    EXPECT_EQ(JudgeScanReply(reply.substr(0, n)), n < ok + 2 ? kPending : kComplete) << n;
  const auto rows = ParseScanReply(reply);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].nodeName, "BOOKSHELF");
  EXPECT_EQ(rows[1].nodeName, "OK lab");
  EXPECT_EQ(rows[2].nodeName, "ERROR room");
}

// The collector judges a growing reply with a watch that does not read ended lines
// again; after every piece it must say what judging the whole text says.
TEST(ScanReplyWatch, JudgesEveryGrowingPieceAsTheWholeTextIsJudged) {
  const char* replies[] = {
      "FFD|A1|7|2.0|MB11|BOOKSHELF\r\nRFD|A2|7|2.0|MB11|OK lab\r\nOK\r\n",
      "\r\nOKAY|A1|7|2.0|MB11|x\r\nOK",
      "FFD|A1|7|2.0|MB11|ERROR room\r\n\r\nERROR\r\n",
      "O\rK\nOK\r\r\n",
  };
  for (std::string_view reply : replies) {
    for (std::size_t step = 1; step <= 5; ++step) {
      ScanReplyWatch watch;
      for (std::size_t n = 0;; n = std::min(reply.size(), n + step)) {
        std::size_t wholeAt = 0, watchAt = 0;
        const auto whole = JudgeScanReply(reply.substr(0, n), &wholeAt);
        ASSERT_EQ(watch.Judge(reply.substr(0, n), &watchAt), whole) << reply << " " << n;
        // A verdict may yet be taken back ("OK" that becomes "OKAY"): keep going.
        if (whole != kPending) {
          EXPECT_EQ(watchAt, wholeAt) << reply << " " << n;
        }
        if (n == reply.size()) break;
      }
    }
  }
}

}  // namespace
}  // namespace zendra
