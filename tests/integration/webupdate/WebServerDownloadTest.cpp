// "Download from web server" against the simulated module (with remote nodes) and
// a real HTTP server on the loopback interface: what is asked on the line, which
// devices are checked, what is offered and downloaded, and the path the page gets.

#include <gmock/gmock.h>

#include <algorithm>

#include "DownloadRecorder.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"
#include "webupdate/WebServerDownload.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kNoResponse =
    "ERROR: The device does not respond. \r\nPlease make sure that the device is conncted "
    "correctly and turned on.";
constexpr const char* kNothingNew = "ERROR: No new firmware is available.";
constexpr const char* kSameProduct = "000D6F0000B00001";
constexpr const char* kOtherProduct = "000D6F0000B00002";

sim::RemoteNode Remote(const std::string& eui, const std::string& product,
                       const std::string& version) {
  sim::RemoteNode node;
  node.euiAddress = eui;
  node.productName = product;
  node.version = version;
  return node;
}

// The local module is an MA11 at v1.10.0; the network has an MA11 at another
// version and an MB11.
sim::Options Network() {
  sim::Options options;
  options.remotes = {Remote(kSameProduct, "MA11", "v1.9.5"), Remote(kOtherProduct, "MB11", "v3.0")};
  return options;
}

class WebServerDownloadTest : public ::testing::Test {
 protected:
  std::string Run(SimHarness& sim, const std::vector<std::string>& addresses,
                  const LoopbackUpdateServer* server = nullptr) {
    if (!sim.Conn().IsOpen()) {
      EXPECT_TRUE(sim.Connect());
    }
    sim.Sim().ClearLog();
    WebServerDownload download(sim.Conn(), op_, runner_, (server ? *server : server_).BaseUrl());
    const std::string path = download.OnDownloadFromWebServer(sim.Line(), addresses);
    accepted_ = download.AcceptedOffers();
    return path;
  }
  // What the manager sent for the check, in order (the handshake's lines are gone).
  static std::vector<std::string> Sent(SimHarness& sim) { return sim.Sim().ReceivedLines(); }

  LoopbackUpdateServer server_;
  TempFolder folder_;
  EventLog log_;
  RecordingView view_{log_};
  LoggingOperator op_{log_};
  WorkerRunner runner_{view_, op_};
  std::vector<WebServerDownload::Accepted> accepted_;
};

TEST_F(WebServerDownloadTest, ARemoteOfAnotherProductIsOfferedItsImageAndThePathIsReturned) {
  SimHarness sim(Network());
  server_.Serve("Firmware",
                "VEXA\r\nMA11:v1.10.0:MA11_v1.10.0.ebl\r\nMA11:v1.11.0:MA11_v1.11.0.ebl\r\n"
                "MB11:v3.1:images/MB11_v3.1.ebl\r\n");
  server_.Serve("images/MB11_v3.1.ebl", "MB11 image v3.1");
  const std::string chosen = folder_.Path() + "chosen.ebl";
  op_.QueueAnswer(true);
  op_.QueueFile(chosen);

  EXPECT_EQ(Run(sim, {kSameProduct, kOtherProduct}), chosen);

  // Upper case with a line feed only for the local module, lower case for the
  // remote ones; the MA11 remote is asked but not checked, though its version is old.
  EXPECT_THAT(
      Sent(sim),
      ElementsAre("AT+PRODUCTNAME\n", "AT+VERSION\n", "AT+RC=000D6F0000B00001,at+productname\n",
                  "AT+RC=000D6F0000B00001,at+version\n", "AT+RC=000D6F0000B00002,at+productname\n",
                  "AT+RC=000D6F0000B00002,at+version\n"));
  EXPECT_THAT(op_.Questions(),
              ElementsAre("New firmware is available.\r\nWould you like to download?\r\n\r\n"
                          "PRODUCT: MB11\r\nCURRENT VERSION: v3.0\r\nNEW VERSION: v3.1\r\n"
                          "FILENAME: images/MB11_v3.1.ebl"));
  EXPECT_THAT(op_.Messages(), IsEmpty());
  EXPECT_EQ(ReadFile(chosen), "MB11 image v3.1");
  ASSERT_EQ(accepted_.size(), 1u);
  EXPECT_TRUE(accepted_[0].saved);
  EXPECT_EQ(accepted_[0].product, "MB11");
}

TEST_F(WebServerDownloadTest, DevicesThatCannotBeAskedAreReportedOnceEachAndNothingNewEndsTheRun) {
  sim::Options options = Network();
  options.remotes[1].faults.errorCommands = {"at+version"};
  options.remotes.push_back(Remote("000D6F0000B00003", "MC21X", "v1.0.0"));
  options.remotes.back().faults.reach = sim::RemoteFaults::Reach::Silent;
  SimHarness sim(options);
  server_.Serve("Firmware", "VEXA\nMA11:v1.11.0:MA11_v1.11.0.ebl\n");
  op_.QueueAnswer(false);  // the local module's offer is declined

  // A row whose address would break the "AT+RC=" line is not asked at all.
  EXPECT_EQ(Run(sim, {kOtherProduct, "000D6F0000B00003", "000D6F,AT&F", "000D6F\r\nAT&F"}), "");

  EXPECT_THAT(op_.Questions(), ::testing::SizeIs(1));
  EXPECT_THAT(op_.Messages(),
              ElementsAre(kNoResponse, kNoResponse, kNoResponse, kNoResponse, kNothingNew));
  // Each names the device it is about.
  EXPECT_THAT(op_.Details(),
              ElementsAre("The remote device " + std::string(kOtherProduct) +
                              " did not answer at+productname or at+version within 5 s.",
                          "The remote device 000D6F0000B00003 did not answer at+productname or "
                          "at+version within 5 s.",
                          "The device list's address '000D6F,AT&F' cannot be sent in a command; "
                          "the device was not asked.",
                          "The device list's address '000D6F\r\nAT&F' cannot be sent in a "
                          "command; the device was not asked.",
                          ""));
  const auto sent = Sent(sim);
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& l) { return l.find("AT&F") != std::string::npos; }),
            0);
  EXPECT_TRUE(accepted_.empty());
}

TEST_F(WebServerDownloadTest, AServerThatFailsEndsTheRunWithItsOneMessageAndAsksNoFurtherDevice) {
  SimHarness sim(Network());
  const std::string nobody = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/";
  LoopbackUpdateServer broken;
  broken.Serve("Firmware", "<html>Internal Server Error</html>", 500, "text/html");
  struct Case {
    std::string url;
    std::string message;
  };
  for (const Case& c : {Case{nobody, "ERROR: Could not connect to web server!"},
                        Case{broken.BaseUrl(), "ERROR: Could not connect to update server."}}) {
    SCOPED_TRACE(c.url);
    op_.Clear();
    if (!sim.Conn().IsOpen()) {
      ASSERT_TRUE(sim.Connect());
    }
    sim.Sim().ClearLog();
    WebServerDownload download(sim.Conn(), op_, runner_, c.url);
    EXPECT_EQ(download.OnDownloadFromWebServer(sim.Line(), {kSameProduct, kOtherProduct}), "");
    // One message, never followed by "No new firmware", and no remote was asked:
    // they would meet the same server.
    EXPECT_THAT(op_.Messages(), ElementsAre(c.message));
    ASSERT_EQ(op_.Details().size(), 1u);
    EXPECT_THAT(op_.Details()[0], ::testing::StartsWith("Server: " + c.url + "\r\nFile: Firmware"));
    EXPECT_THAT(Sent(sim), ElementsAre("AT+PRODUCTNAME\n", "AT+VERSION\n"));
    EXPECT_THAT(op_.Questions(), IsEmpty());
  }
}

TEST_F(WebServerDownloadTest, ALocalModuleThatDoesNotAnswerIsReportedAndTheRemotesStillChecked) {
  sim::Options options = Network();
  options.faults.errorCommands = {"AT+PRODUCTNAME"};
  // A remote that answers nothing gives "ERROR" too: it is no device of the local
  // module's product and is reported, not skipped.
  options.remotes[0].faults.reach = sim::RemoteFaults::Reach::Silent;
  SimHarness sim(options);
  server_.Serve("Firmware", "VEXA\nMB11:v3.1:MB11_v3.1.ebl\n");
  server_.Serve("MB11_v3.1.ebl", "image");
  op_.QueueAnswer(true);
  op_.QueueFile(folder_.Path() + "MB11_v3.1.ebl");

  EXPECT_EQ(Run(sim, {kSameProduct, kOtherProduct}), folder_.Path() + "MB11_v3.1.ebl");
  EXPECT_THAT(op_.Messages(), ElementsAre(kNoResponse, kNoResponse));
}

TEST_F(WebServerDownloadTest, AFailedDownloadIsNoFileLocationButNoNothingNewEither) {
  SimHarness sim(Network());
  server_.Serve("Firmware", "VEXA\nMA11:v1.11.0:MA11_v1.11.0.ebl\nMB11:v3.1:MB11_v3.1.ebl\n");
  server_.Serve("MA11_v1.11.0.ebl", "MA11 image");
  server_.Serve("MB11_v3.1.ebl", "<html>gone</html>", 200, "text/html");
  const std::string older = folder_.Write("old.ebl", "an older image");
  op_.QueueAnswer(true);
  op_.QueueFile(folder_.Path() + "MA11_v1.11.0.ebl");
  op_.QueueAnswer(true);
  op_.QueueFile(older);  // the MB11 image would replace an older file

  // The location stays with the image that came; the old file is not offered as new.
  EXPECT_EQ(Run(sim, {kOtherProduct}), folder_.Path() + "MA11_v1.11.0.ebl");
  EXPECT_EQ(ReadFile(older), "an older image");
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not download file:\r\n'MB11_v3.1.ebl'."));
  ASSERT_EQ(accepted_.size(), 2u);
  EXPECT_FALSE(accepted_[1].saved);

  // Only the failed one: no location, and no "No new firmware" after the error.
  op_.Clear();
  LoopbackUpdateServer other;
  other.Serve("Firmware", "VEXA\nMB11:v3.1:MB11_v3.1.ebl\n");
  other.Serve("MB11_v3.1.ebl", "<html>gone</html>", 200, "text/html");
  op_.QueueAnswer(true);
  op_.QueueFile(older);
  EXPECT_EQ(Run(sim, {kOtherProduct}, &other), "");
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not download file:\r\n'MB11_v3.1.ebl'."));
}

TEST_F(WebServerDownloadTest, InRemoteModeTheLocalModuleIsNotAskedButTheListIsStillFetched) {
  SimHarness sim(Network());
  // A list that is no list: its failure is still reported for the local check, in
  // one message that names the server and the file; "No new firmware" would say
  // what nobody knows.
  server_.Serve("Firmware", "<html>Not Found</html>", 404, "text/html");
  EXPECT_TRUE(sim.Connect());
  sim.Conn().SetRemoteMode(true);
  sim.Sim().ClearLog();
  WebServerDownload download(sim.Conn(), op_, runner_, server_.BaseUrl());
  EXPECT_EQ(download.OnDownloadFromWebServer(sim.Line(), {}), "");
  EXPECT_THAT(Sent(sim), IsEmpty());
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not connect to update server."));
  EXPECT_THAT(op_.Details(), ElementsAre("Server: " + server_.BaseUrl() +
                                         "\r\nFile: Firmware\r\nThe server answered HTTP 404."));
}

}  // namespace
}  // namespace zendra::test
