#pragma once
// `DownloadWorker`: fetches a prepared list of files from the update server on its
// own thread and reports to a DownloadView, while the window stays responsive.
//
// For each entry the view shows the server name and "Downloading file now..
// (i/n)", the progress bar counts the body in 1,024-byte pieces, and the entry
// ends with "Downloading Complete." whether it succeeded or not; after the last
// one the view is told to close. Problems go to the operator as OK boxes: the
// client's own report when the file could not be fetched (no connection, a status
// outside 2xx, a connection lost mid-body), "ERROR: Could not download file:..."
// when a short answer starting with "<" (an error page) came instead, "ERROR:
// Could not write file:..." when the destination takes no file.
//
// A file reaches its destination only complete: the body goes to a temporary
// file beside it and replaces the destination once the status was 2xx, the body
// was no error page and had the announced length. Otherwise the destination keeps
// what it had.
//
// A stop request (the operator closing the window) ends the transfer at once; the
// worker then touches neither the view nor the operator, and the destination
// stays as it was. The owner stops and joins the worker before its view goes
// (the destructor does).

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "base/Operator.h"
#include "base/WorkerSlot.h"
#include "webupdate/DownloadEntry.h"
#include "webupdate/DownloadView.h"
#include "webupdate/HttpClient.h"

namespace zendra {

class DownloadWorker {
 public:
  struct Options {
    // Progress is shown when its position changed and at most this often (and
    // always the last position of a file), so that a fast transfer is not slowed
    // by a window repainting its bar for every piece.
    std::chrono::milliseconds progressInterval{30};
  };

  DownloadWorker(std::string updateServerUrl, std::vector<DownloadEntry> entries,
                 DownloadView& view, Operator& op)
      : DownloadWorker(std::move(updateServerUrl), std::move(entries), view, op, HttpClient(),
                       Options{}) {}
  DownloadWorker(std::string updateServerUrl, std::vector<DownloadEntry> entries,
                 DownloadView& view, Operator& op, HttpClient client, Options options);
  ~DownloadWorker() { Stop(); }
  DownloadWorker(const DownloadWorker&) = delete;
  DownloadWorker& operator=(const DownloadWorker&) = delete;

  // Starts the downloads on the worker's thread; a worker still running is
  // stopped first (one worker per window).
  void Start();
  // Asks the worker to stop and waits for it; it returns at once.
  void Stop();
  // Waits until the worker has ended by itself.
  void Join();
  // true from Start until the worker's last act.
  bool Running() const { return slot_.Running(); }
  // How each entry ended, in order; read it once the worker has ended (Join, Stop).
  const std::vector<DownloadResult>& Results() const { return results_; }

  // The downloads themselves, on the calling thread (what Start runs).
  void Run(std::stop_token stop);

 private:
  // How the entry ended; kNotRun when a stop request ended it.
  DownloadResult Download(const DownloadEntry& entry, std::stop_token stop);

  std::string updateServerUrl_;
  std::vector<DownloadEntry> entries_;
  std::vector<DownloadResult> results_;
  DownloadView& view_;
  Operator& op_;
  HttpClient client_;
  Options options_;
  WorkerSlot slot_;
};

}  // namespace zendra
