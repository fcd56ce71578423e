// The records as CSV: the header, fields that need quoting, and line ends.

#include <gmock/gmock.h>

#include "production/RecordCsv.h"

namespace zendra::test {
namespace {

TEST(RecordCsv, QuotesOnlyTheFieldsThatNeedItAndDoublesTheirQuotes) {
  EXPECT_EQ(RecordCsv::Field("v1.11.0"), "v1.11.0");
  EXPECT_EQ(RecordCsv::Field(""), "");
  EXPECT_EQ(RecordCsv::Field("a, b"), "\"a, b\"");
  EXPECT_EQ(RecordCsv::Field("the \"Node name\""), "\"the \"\"Node name\"\"\"");
  EXPECT_EQ(RecordCsv::Field("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(RecordCsv::Field("cr\r"), "\"cr\r\"");
}

TEST(RecordCsv, WritesAHeaderAndALinePerRecordInTheColumnsOrder) {
  ProvisionRecord r;
  r.id = 7;
  r.time = "2025-03-14T09:26:53.589Z";
  r.station = "line-3";
  r.port = "/dev/ttyUSB2";
  r.product = "MA11";
  r.euiAddress = "000D6F0000A1B2C3";
  r.firmwareBefore = "v1.10.0";
  r.seconds = 12.34;
  r.outcome = "failed";
  r.failedStep = "update";
  r.message = "ERROR: The serial port was lost, at block 12";
  EXPECT_EQ(RecordCsv::Document({r}),
            "id,time,station,port,product,euiAddress,firmwareBefore,firmwareAfter,imageSha256,"
            "configSha256,verify,seconds,outcome,failedStep,message\r\n"
            "7,2025-03-14T09:26:53.589Z,line-3,/dev/ttyUSB2,MA11,000D6F0000A1B2C3,v1.10.0,,,,,"
            "12.3,failed,update,\"ERROR: The serial port was lost, at block 12\"\r\n");
  EXPECT_EQ(RecordCsv::Document({}), RecordCsv::Header() + "\r\n");
}

}  // namespace
}  // namespace zendra::test
