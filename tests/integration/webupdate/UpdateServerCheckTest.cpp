// The two update checks against a real HTTP server on the loopback interface:
// which answers count as lists, what the operator is told and asked, which files
// are downloaded where.

#include <gmock/gmock.h>

#include <filesystem>

#include "DownloadRecorder.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"
#include "webupdate/UpdateServerCheck.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Offer(const std::string& product, const std::string& current, const std::string& next,
                  const std::string& file) {
  return "New firmware is available.\r\nWould you like to download?\r\n\r\nPRODUCT: " + product +
         "\r\nCURRENT VERSION: " + current + "\r\nNEW VERSION: " + next + "\r\nFILENAME: " + file;
}

class UpdateServerCheckTest : public ::testing::Test {
 protected:
  UpdateServerCheck Check() { return UpdateServerCheck(op_, runner_, server_.BaseUrl()); }

  LoopbackUpdateServer server_;
  TempFolder folder_;
  EventLog log_;
  RecordingView view_{log_};
  LoggingOperator op_{log_};
  WorkerRunner runner_{view_, op_};
};

class LineEndTest : public UpdateServerCheckTest,
                    public ::testing::WithParamInterface<std::string> {};

TEST_P(LineEndTest, ListsAreReadWithEitherLineEnd) {
  const std::string eol = GetParam();
  server_.Serve("Configs", "VEXA" + eol + "MA11_v1.0.6.zmcon" + eol + eol + "my defs.zmcon");
  server_.Serve("MA11_v1.0.6.zmcon", "definitions 1");
  server_.Serve("my defs.zmcon", "definitions 2");
  server_.Serve("Firmware", "VEXA" + eol + "MB11:2.0.0:b.ebl" + eol + "MA11:1.0.6:a.ebl");

  Check().CheckConfigUpdates(folder_.Path());
  EXPECT_EQ(ReadFile(folder_.Path() + "MA11_v1.0.6.zmcon"), "definitions 1");
  EXPECT_EQ(ReadFile(folder_.Path() + "my defs.zmcon"), "definitions 2");
  EXPECT_EQ(log_.Events().back(), "close");

  // The product's line is the last one, without a line end.
  Check().CheckFirmwareUpdate("MA11", "1.0.5");
  EXPECT_THAT(op_.Questions(), ElementsAre(Offer("MA11", "1.0.5", "1.0.6", "a.ebl")));
  EXPECT_THAT(op_.Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(CrLfAndLf, LineEndTest, ::testing::Values("\r\n", "\n"));

TEST_F(UpdateServerCheckTest, AnswersThatAreNoListEndBothChecks) {
  struct Case {
    std::string body;
    int status;
  };
  for (const Case& c :
       {Case{"VEXB\nMA11:1.0.6:a.ebl\n", 200}, Case{"vexa\nMA11:1.0.6:a.ebl\n", 200},
        Case{"VEXA", 200}, Case{"<html><body>Welcome</body></html>", 200},
        Case{"<html><body>404 Not Found</body></html>", 404},
        Case{"VEXA\nMA11:1.0.6:a.ebl\n", 500}}) {
    SCOPED_TRACE(c.body);
    LoopbackUpdateServer server;
    server.Serve("Configs", c.body, c.status, "text/html");
    server.Serve("Firmware", c.body, c.status, "text/html");
    FakeOperator op;
    UpdateServerCheck check(op, runner_, server.BaseUrl());
    check.CheckConfigUpdates(folder_.Path());
    EXPECT_EQ(check.CheckFirmwareUpdate("MA11", "1.0.5"), "");
    EXPECT_THAT(op.Messages(), ElementsAre("ERROR: Could not connect to update server.",
                                           "ERROR: Could not connect to update server."));
    EXPECT_THAT(op.Questions(), IsEmpty());
  }
  EXPECT_THAT(runner_.runs, IsEmpty());
}

TEST_F(UpdateServerCheckTest, NoAnswerIsAFailedConnection) {
  server_.Serve("Configs", "");
  server_.Serve("Firmware", "");
  const std::string nobody = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/";
  for (const std::string& url : {server_.BaseUrl(), nobody}) {
    SCOPED_TRACE(url);
    FakeOperator op;
    UpdateServerCheck check(op, runner_, url);
    check.CheckConfigUpdates(folder_.Path());
    EXPECT_EQ(check.CheckFirmwareUpdate("MA11", "1.0.5"), "");
    EXPECT_THAT(op.Messages(), ElementsAre("Could not connect to web server!",
                                           "ERROR: Could not connect to web server!"));
    EXPECT_EQ(op.WaitDepth(), 0);
    EXPECT_EQ(op.WaitCount(), 2);
  }
  EXPECT_THAT(runner_.runs, IsEmpty());
}

TEST_F(UpdateServerCheckTest, EachFailureIsOneMessageNamingTheServerTheFileAndWhatHappened) {
  const std::string nobody = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/zm/";
  {
    FakeOperator op;
    UpdateServerCheck check(op, runner_, nobody);
    EXPECT_EQ(check.CheckFirmwareUpdate("MA11", "1.0.5"), "");
    EXPECT_TRUE(check.LastServerFailed());
    EXPECT_THAT(op.Messages(), ElementsAre("ERROR: Could not connect to web server!"));
    ASSERT_EQ(op.Details().size(), 1u);
    EXPECT_THAT(op.Details()[0], ::testing::StartsWith("Server: " + nobody +
                                                       "\r\nFile: Firmware\r\nCould not connect"));
  }
  struct Case {
    std::string body;
    int status;
    std::string message;
    std::string what;
  };
  for (const Case& c :
       {Case{"<html>Not Found</html>", 404, "ERROR: Could not connect to update server.",
             "The server answered HTTP 404."},
        Case{"", 500, "Could not connect to web server!", "The server answered HTTP 500."},
        Case{"<html>Welcome</html>", 200, "ERROR: Could not connect to update server.",
             "The server answered, but not with an update list."}}) {
    SCOPED_TRACE(c.status);
    LoopbackUpdateServer server;
    server.Serve("Configs", c.body, c.status, "text/html");
    FakeOperator op;
    UpdateServerCheck check(op, runner_, server.BaseUrl());
    check.CheckConfigUpdates(folder_.Path());
    EXPECT_TRUE(check.LastServerFailed());
    EXPECT_FALSE(check.LastListFetched());
    // The system's words (an empty answer is still "could not connect to web
    // server"), and under them the server, the file and the status.
    EXPECT_THAT(op.Messages(), ElementsAre(c.message));
    EXPECT_THAT(op.Details(),
                ElementsAre("Server: " + server.BaseUrl() + "\r\nFile: Configs\r\n" + c.what));
  }
  // A list that came clears the mark.
  server_.Serve("Firmware", "VEXA\nMB11:1.0:b.ebl\n");
  UpdateServerCheck check(op_, runner_, server_.BaseUrl());
  check.CheckFirmwareUpdate("MA11", "1.0.5");
  EXPECT_FALSE(check.LastServerFailed());
  EXPECT_TRUE(check.LastListFetched());
  EXPECT_THAT(op_.Messages(), IsEmpty());
}

TEST_F(UpdateServerCheckTest, AListOverTheSizeLimitIsSaidToBeTooLong) {
  // A list of exactly the limit is read; one byte more is not.
  server_.Serve("Configs", "VEXA\r\nMA11_v1.0.6.zmcon\r\n");
  server_.Serve("MA11_v1.0.6.zmcon", "definitions");
  server_.Serve("Firmware", "VEXA\nMA11:1.0.6:abcde.ebl\n");
  HttpClient::Options options;
  options.maxTextBytes = 25;
  UpdateServerCheck check(op_, runner_, server_.BaseUrl(), HttpClient(options));
  check.CheckConfigUpdates(folder_.Path());
  EXPECT_EQ(ReadFile(folder_.Path() + "MA11_v1.0.6.zmcon"), "definitions");
  EXPECT_EQ(check.CheckFirmwareUpdate("MA11", "1.0.5"), "");
  EXPECT_FALSE(check.LastListFetched());

  options.maxTextBytes = 24;
  UpdateServerCheck tight(op_, runner_, server_.BaseUrl(), HttpClient(options));
  tight.CheckConfigUpdates(folder_.Path());
  EXPECT_FALSE(tight.LastListFetched());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: The update server's list is too long.",
                                          "ERROR: The update server's list is too long."));
  EXPECT_THAT(op_.Questions(), IsEmpty());
  EXPECT_EQ(runner_.runs.size(), 1u);  // only the first Configs list downloaded
}

TEST_F(UpdateServerCheckTest, ConfigNamesThatWouldLeaveTheFolderAreRefusedAndTheRestComes) {
  server_.Serve("Configs",
                "VEXA\n../escape.zmcon\n/etc/escape.zmcon\nsub\\..\\..\\escape.zmcon\n"
                "C:\\escape.zmcon\nok.zmcon\n./also..ok.zmcon\n");
  server_.Serve("ok.zmcon", "ok");
  server_.Serve("also..ok.zmcon", "also ok");
  const std::string folder = folder_.Path() + "defs/";
  std::filesystem::create_directory(folder);

  Check().CheckConfigUpdates(folder);

  const auto refused = [](const std::string& name) {
    return "ERROR: The update server listed an unsafe file name:\r\n'" + name + "'.";
  };
  EXPECT_THAT(op_.Messages(),
              ElementsAre(refused("../escape.zmcon"), refused("/etc/escape.zmcon"),
                          refused("sub\\..\\..\\escape.zmcon"), refused("C:\\escape.zmcon")));
  ASSERT_EQ(runner_.runs.size(), 1u);
  EXPECT_THAT(runner_.runs[0],
              ElementsAre(DownloadEntry{"ok.zmcon", folder + "ok.zmcon"},
                          DownloadEntry{"./also..ok.zmcon", folder + "./also..ok.zmcon"}));
  EXPECT_EQ(ReadFile(folder + "also..ok.zmcon"), "also ok");
  EXPECT_FALSE(std::filesystem::exists(folder_.Path() + "escape.zmcon"));
}

TEST_F(UpdateServerCheckTest, AListWithOnlyTheMarkerOpensAndClosesTheDownloadsAtOnce) {
  server_.Serve("Configs", "VEXA\r\n\r\n");
  Check().CheckConfigUpdates(folder_.Path());
  ASSERT_EQ(runner_.runs.size(), 1u);
  EXPECT_THAT(runner_.runs[0], IsEmpty());
  EXPECT_THAT(log_.Events(), ElementsAre("close"));
}

TEST_F(UpdateServerCheckTest, TheFirstLineOfTheProductDecidesByWholeFields) {
  server_.Serve("Firmware",
                "VEXA\nMA11\nMA11:1.0.9\nMA11::x.ebl\nMA11:1.0.8:\nMA11:1.0.6:a.ebl\n"
                "MA11:1.0.5:b.ebl\nMA1:0.1:c.ebl\nMB11:2:0:fw/d:1.ebl\n");
  struct Case {
    std::string product, version, offer;
  };
  for (const Case& c :
       {Case{"MA11", "1.0.5", Offer("MA11", "1.0.5", "1.0.6", "a.ebl")},
        Case{"MA11", "1.0.6", ""},  // current; the 1.0.5 line is not looked at
        Case{"MA11", "1.0", Offer("MA11", "1.0", "1.0.6", "a.ebl")}, Case{"MA1", "0.1", ""},
        Case{"MA1", "0.2", Offer("MA1", "0.2", "0.1", "c.ebl")}, Case{"MA", "1.0.5", ""},
        Case{"MB11", "1", Offer("MB11", "1", "2", "0:fw/d:1.ebl")}, Case{"", "1.0.5", ""},
        Case{"MA11", "", ""}}) {
    SCOPED_TRACE(c.product + " " + c.version);
    FakeOperator op;
    op.QueueAnswer(false);
    EXPECT_EQ(
        UpdateServerCheck(op, runner_, server_.BaseUrl()).CheckFirmwareUpdate(c.product, c.version),
        "");
    if (c.offer.empty()) {
      EXPECT_THAT(op.Events(), IsEmpty());
    } else {
      ASSERT_THAT(op.Events(), ::testing::SizeIs(1));  // declined: no save dialog
      EXPECT_EQ(op.Events()[0].text, c.offer);
      EXPECT_EQ(op.Events()[0].caption, "NOTICE");
    }
  }
  EXPECT_THAT(runner_.runs, IsEmpty());
}

TEST_F(UpdateServerCheckTest, AnAcceptedOfferIsSavedWhereTheOperatorChose) {
  server_.Serve("Firmware", "VEXA\nMA11:1.0.6:images/MA11_1.0.6.ebl\n");
  server_.Serve("images/MA11_1.0.6.ebl", "image bytes");
  const std::string chosen = folder_.Path() + "chosen.ebl";

  op_.QueueAnswer(true);
  op_.QueueFile(std::nullopt);
  EXPECT_EQ(Check().CheckFirmwareUpdate("MA11", "1.0.5"), "");  // save dialog cancelled
  EXPECT_THAT(runner_.runs, IsEmpty());

  op_.QueueAnswer(true);
  op_.QueueFile(chosen);
  EXPECT_EQ(Check().CheckFirmwareUpdate("MA11", "1.0.5"), chosen);
  EXPECT_EQ(ReadFile(chosen), "image bytes");
  const auto events = op_.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[1].kind, FakeOperator::Event::kSaveFile);
  EXPECT_EQ(events[1].text, "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|");
  EXPECT_EQ(events[1].caption, "MA11_1.0.6.ebl");  // the proposed name
  EXPECT_THAT(runner_.runs,
              ElementsAre(ElementsAre(DownloadEntry{"images/MA11_1.0.6.ebl", chosen})));
}

}  // namespace
}  // namespace zendra::test
