#include "webupdate/DownloadWorker.h"

#include <climits>

#include "webupdate/ReplacementFile.h"
#include "webupdate/UpdateServerUrl.h"

namespace zendra {

namespace {

constexpr std::int64_t kChunkBytes = 1024;
// A first piece starting with "<" from an answer this short is an error page.
constexpr std::int64_t kErrorPageLength = 512;

std::string WriteError(const std::string& path) {
  return "ERROR: Could not write file:\r\n'" + path + "'.";
}
std::string DownloadError(const std::string& serverName) {
  return "ERROR: Could not download file:\r\n'" + serverName + "'.";
}

// The bar of one file: its range and the coalesced position.
class Progress {
 public:
  Progress(DownloadView& view, std::chrono::milliseconds interval)
      : view_(view), interval_(interval) {}

  // The range follows the length reported at the start: 0 .. length / 1,024 + 1.
  void Begin(std::int64_t reportedLength) {
    const std::int64_t upper = reportedLength / kChunkBytes + 1;
    view_.SetRange(0, upper > INT_MAX ? INT_MAX : static_cast<int>(upper));
    view_.SetPosition(0);
    begun_ = true;
  }
  // One step per 1,024-byte piece begun, so `bytes` of body stand at
  // ceil(bytes / 1,024).
  void Reached(std::int64_t bytes) {
    const std::int64_t chunks = (bytes + kChunkBytes - 1) / kChunkBytes;
    while (position_ < chunks) {
      ++position_;
      const auto now = std::chrono::steady_clock::now();
      if (now - lastShown_ >= interval_) Show(now);
    }
  }
  // The last position is always shown.
  void Flush() {
    if (begun_ && shown_ != position_) Show(std::chrono::steady_clock::now());
  }

 private:
  void Show(std::chrono::steady_clock::time_point now) {
    view_.SetPosition(position_ > INT_MAX ? INT_MAX : static_cast<int>(position_));
    shown_ = position_;
    lastShown_ = now;
  }

  DownloadView& view_;
  std::chrono::milliseconds interval_;
  bool begun_ = false;
  std::int64_t position_ = 0;
  std::int64_t shown_ = 0;
  std::chrono::steady_clock::time_point lastShown_{};
};

}  // namespace

DownloadWorker::DownloadWorker(std::string updateServerUrl, std::vector<DownloadEntry> entries,
                               DownloadView& view, Operator& op, HttpClient client, Options options)
    : updateServerUrl_(std::move(updateServerUrl)),
      entries_(std::move(entries)),
      results_(entries_.size(), DownloadResult::kNotRun),
      view_(view),
      op_(op),
      client_(client),
      options_(options) {}

void DownloadWorker::Start() {
  Stop();
  results_.assign(entries_.size(), DownloadResult::kNotRun);
  slot_.TryStart([this](std::stop_token stop) { Run(stop); });
}

void DownloadWorker::Stop() { slot_.StopAndJoin(); }

void DownloadWorker::Join() { slot_.Join(); }

void DownloadWorker::Run(std::stop_token stop) {
  const int count = static_cast<int>(entries_.size());
  for (int i = 0; i < count; ++i) {
    if (stop.stop_requested()) return;
    view_.SetFileName(entries_[i].serverName);
    view_.SetMessage("Downloading file now.. (" + std::to_string(i + 1) + "/" +
                     std::to_string(count) + ")");
    results_[i] = Download(entries_[i], stop);
    if (results_[i] == DownloadResult::kNotRun) return;
    view_.SetMessage("Downloading Complete.");
  }
  if (!stop.stop_requested()) view_.Close();
}

DownloadResult DownloadWorker::Download(const DownloadEntry& entry, std::stop_token stop) {
  enum class Refusal { kNone, kWrite, kErrorPage };
  Refusal refusal = Refusal::kNone;
  ReplacementFile file(entry.localPath);
  Progress progress(view_, options_.progressInterval);
  // The body's start is held back until the error-page test has been decided: with
  // no Content-Length, the first 1,024 bytes are the length that test reads.
  std::string firstPiece;
  bool decided = false;
  bool committed = false;
  std::int64_t written = 0;

  const auto write = [&](std::string_view bytes) {
    if (!file.Write(bytes)) {
      refusal = Refusal::kWrite;
      return false;
    }
    written += static_cast<std::int64_t>(bytes.size());
    progress.Reached(written);
    return true;
  };
  const auto decide = [&](std::int64_t reportedLength) {
    decided = true;
    progress.Begin(reportedLength);
    if (!firstPiece.empty() && firstPiece.front() == '<' && reportedLength <= kErrorPageLength) {
      refusal = Refusal::kErrorPage;
      return false;
    }
    return write(firstPiece);
  };
  // The destination is created only once the server has answered, so that a
  // failed request reports the request's failure, not the file's.
  const auto open = [&] {
    if (file.IsOpen() || file.Open()) return true;
    refusal = Refusal::kWrite;
    return false;
  };

  const auto response = client_.Get(
      UpdateServerUrl::FileUrl(updateServerUrl_, entry.serverName),
      [&](std::string_view piece, const HttpClient::Response& head) {
        if (!open()) return false;
        if (decided) return write(piece);
        firstPiece.append(piece);
        if (head.contentLength >= 0) return decide(head.contentLength);
        if (static_cast<std::int64_t>(firstPiece.size()) >= kChunkBytes) return decide(kChunkBytes);
        return true;
      },
      true, stop);
  if (response.outcome == HttpClient::Outcome::kStopped || stop.stop_requested())
    return DownloadResult::kNotRun;

  std::string message;
  if (response.outcome == HttpClient::Outcome::kFailed) {
    message = response.error;
  } else if (response.outcome == HttpClient::Outcome::kComplete) {
    // An empty body, or a short one without Content-Length, ends before a decision.
    if (open() && !decided)
      decide(response.contentLength >= 0 ? response.contentLength
                                         : static_cast<std::int64_t>(firstPiece.size()));
    if (refusal == Refusal::kNone) {
      if (response.contentLength >= 0 && written != response.contentLength)
        message = DownloadError(entry.serverName);
      else if (file.Commit())
        committed = true;
      else
        refusal = Refusal::kWrite;
    }
  }
  if (refusal == Refusal::kWrite) message = WriteError(entry.localPath);
  if (refusal == Refusal::kErrorPage) message = DownloadError(entry.serverName);

  progress.Flush();
  if (!message.empty()) {
    file.Discard();
    op_.ShowMessage(message);
  }
  if (stop.stop_requested()) return committed ? DownloadResult::kSaved : DownloadResult::kNotRun;
  return committed && message.empty() ? DownloadResult::kSaved : DownloadResult::kFailed;
}

}  // namespace zendra
