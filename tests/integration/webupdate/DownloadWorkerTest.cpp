// The download worker against a real HTTP server on the loopback interface: what
// the window is told, what the operator sees, and that a destination is only ever
// replaced by a complete file.

#include <gmock/gmock.h>

#include <filesystem>
#include <set>

#include "DownloadRecorder.h"
#include "support/http/LoopbackUpdateServer.h"
#include "support/TempFolder.h"
#include "webupdate/DownloadWorker.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  return names;
}

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
  return body;
}

class DownloadWorkerTest : public ::testing::Test {
 protected:
  // Runs the worker on its thread to its end, every position shown.
  void Download(std::vector<DownloadEntry> entries, DownloadWorker::Options options = {0ms}) {
    DownloadWorker worker(server_.BaseUrl(), std::move(entries), view_, op_, HttpClient(), options);
    worker.Start();
    worker.Join();
  }
  // The texts the window and the operator saw, without the progress.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& e : log_.Events())
      if (e.rfind("range:", 0) != 0 && e.rfind("position:", 0) != 0) texts.push_back(e);
    return texts;
  }

  LoopbackUpdateServer server_;
  TempFolder folder_;
  EventLog log_;
  RecordingView view_{log_};
  LoggingOperator op_{log_};
};

TEST_F(DownloadWorkerTest, AnErrorPageInTheMiddleIsReportedByNameAndTheOthersStillCome) {
  server_.Serve("a.zmcon", "first file");
  server_.Serve("b.zmcon", "<html><body>Not found</body></html>", 200, "text/html");
  server_.Serve("c.zmcon", "third file");
  const std::string b = folder_.Write("b.zmcon", "old b");

  Download({{"a.zmcon", folder_.Path() + "a.zmcon"},
            {"b.zmcon", b},
            {"c.zmcon", folder_.Path() + "c.zmcon"}});

  EXPECT_THAT(Texts(), ElementsAre("file:a.zmcon", "message:Downloading file now.. (1/3)",
                                   "message:Downloading Complete.", "file:b.zmcon",
                                   "message:Downloading file now.. (2/3)",
                                   "box:ERROR: Could not download file:\r\n'b.zmcon'.",
                                   "message:Downloading Complete.", "file:c.zmcon",
                                   "message:Downloading file now.. (3/3)",
                                   "message:Downloading Complete.", "close"));
  EXPECT_EQ(ReadFile(folder_.Path() + "a.zmcon"), "first file");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(ReadFile(folder_.Path() + "c.zmcon"), "third file");
  EXPECT_THAT(FilesIn(folder_.Path()), ElementsAre("a.zmcon", "b.zmcon", "c.zmcon"));
}

TEST_F(DownloadWorkerTest, TheBarStepsOncePerKilobyteWithOrWithoutContentLength) {
  const std::string body = Body(5000);
  server_.Serve("sized.ebl", body);
  server_.ServeChunked("chunked.ebl", body);

  Download({{"sized.ebl", folder_.Path() + "sized.ebl"}});
  EXPECT_THAT(log_.With("range:"), ElementsAre("0..5"));
  EXPECT_THAT(log_.With("position:"), ElementsAre("0", "1", "2", "3", "4", "5"));
  EXPECT_EQ(ReadFile(folder_.Path() + "sized.ebl"), body);

  // Without a length the first kilobyte is what the range is made of.
  EventLog chunkedLog;
  RecordingView chunkedView(chunkedLog);
  DownloadWorker worker(server_.BaseUrl(), {{"chunked.ebl", folder_.Path() + "chunked.ebl"}},
                        chunkedView, op_, HttpClient(), {0ms});
  worker.Start();
  worker.Join();
  EXPECT_THAT(chunkedLog.With("range:"), ElementsAre("0..2"));
  EXPECT_THAT(chunkedLog.With("position:"), ElementsAre("0", "1", "2", "3", "4", "5"));
  EXPECT_EQ(ReadFile(folder_.Path() + "chunked.ebl"), body);
  EXPECT_THAT(op_.Messages(), IsEmpty());
}

TEST_F(DownloadWorkerTest, AShortPageWithoutLengthIsAnErrorPageToo) {
  server_.ServeChunked("page.ebl", "<html>gone</html>");
  Download({{"page.ebl", folder_.Path() + "page.ebl"}});
  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not download file:\r\n'page.ebl'."));
  EXPECT_THAT(FilesIn(folder_.Path()), IsEmpty());
}

TEST_F(DownloadWorkerTest, FailedTransfersReportTheClientsErrorAndKeepTheOldFile) {
  server_.Serve("missing.ebl", "<html>" + std::string(3000, '.') + "</html>", 404, "text/html");
  server_.ServeTruncated("cut.ebl", 5000, 3000);
  const std::string missing = folder_.Write("missing.ebl", "old image");
  const std::string cut = folder_.Write("cut.ebl", "old image");

  Download({{"missing.ebl", missing}, {"cut.ebl", cut}});

  const auto boxes = op_.Messages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "The requested URL returned error: 404");
  EXPECT_THAT(boxes[1], HasSubstr("closed"));
  EXPECT_THAT(log_.With("message:Downloading Complete."), ::testing::SizeIs(2));
  EXPECT_EQ(ReadFile(missing), "old image");
  EXPECT_EQ(ReadFile(cut), "old image");
  EXPECT_THAT(FilesIn(folder_.Path()), ElementsAre("cut.ebl", "missing.ebl"));
}

TEST_F(DownloadWorkerTest, NoServerIsTheClientsErrorAndTheRunStillEnds) {
  DownloadWorker worker("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/",
                        {{"a.ebl", folder_.Path() + "a.ebl"}}, view_, op_);
  worker.Start();
  worker.Join();
  const auto boxes = op_.Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], HasSubstr("connect"));
  EXPECT_EQ(Texts().back(), "close");
  EXPECT_THAT(FilesIn(folder_.Path()), IsEmpty());
}

TEST_F(DownloadWorkerTest, ADestinationInAMissingFolderIsAWriteErrorAndTheNextFileComes) {
  server_.Serve("a.ebl", "image a");
  server_.Serve("b.ebl", "image b");
  const std::string nowhere = folder_.Path() + "missing/a.ebl";

  Download({{"a.ebl", nowhere}, {"b.ebl", folder_.Path() + "b.ebl"}});

  EXPECT_THAT(op_.Messages(), ElementsAre("ERROR: Could not write file:\r\n'" + nowhere + "'."));
  EXPECT_EQ(ReadFile(folder_.Path() + "b.ebl"), "image b");
  EXPECT_EQ(Texts().back(), "close");
}

TEST_F(DownloadWorkerTest, StoppingMidTransferEndsAtOnceAndLeavesTheOldFile) {
  server_.ServeStalled("slow.ebl", 1'000'000, 8192);
  const std::string destination = folder_.Write("slow.ebl", "old image");
  DownloadWorker worker(server_.BaseUrl(), {{"slow.ebl", destination}}, view_, op_);
  worker.Start();
  ASSERT_TRUE(log_.WaitFor([](const auto& events) {
    return std::find(events.begin(), events.end(), "position:1") != events.end();
  }));

  const auto before = std::chrono::steady_clock::now();
  worker.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);

  EXPECT_FALSE(worker.Running());
  EXPECT_THAT(log_.With("message:Downloading Complete."), IsEmpty());
  EXPECT_THAT(log_.With("close"), IsEmpty());
  EXPECT_THAT(op_.Messages(), IsEmpty());
  EXPECT_EQ(ReadFile(destination), "old image");
  EXPECT_THAT(FilesIn(folder_.Path()), ElementsAre("slow.ebl"));
}

TEST_F(DownloadWorkerTest, AFastTransferShowsFewPositionsButAlwaysTheLast) {
  const std::string body = Body(4 * 1024 * 1024);
  server_.Serve("big.ebl", body);
  Download({{"big.ebl", folder_.Path() + "big.ebl"}}, {30ms});

  std::vector<int> positions;
  for (const auto& p : log_.With("position:")) positions.push_back(std::stoi(p));
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 4096);
  EXPECT_LT(positions.size(), 1000u);  // one per kilobyte would be 4,097
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(ReadFile(folder_.Path() + "big.ebl"), body);
}

TEST(HttpClientTest, AnAnswerThatStallsEndsAfterTheStallTime) {
  LoopbackUpdateServer server;
  server.ServeStalled("stall", 100'000, 0);
  HttpClient::Options options;
  options.stallTime = std::chrono::seconds(1);
  const auto response = HttpClient(options).Get(
      server.BaseUrl() + "stall", [](std::string_view, const auto&) { return true; }, true);
  EXPECT_EQ(response.outcome, HttpClient::Outcome::kFailed);
  EXPECT_THAT(response.error, HasSubstr("too slow"));
  EXPECT_EQ(response.bodyBytes, 0);
}

}  // namespace
}  // namespace zendra::test
