#pragma once
// What the download window shows: the running message, the name of the file being
// fetched, the progress bar, and its closing when the last file is done. The
// desktop's WebUpdateDialog and the command line's terminal view implement it.
//
// Every call comes from the download worker's thread. A window posts them onto
// its own thread and never blocks on them: its thread may be stopping and joining
// the worker at that moment. Once the worker has seen a stop request it makes no
// call any more.

#include <string>

namespace zendra {

class DownloadView {
 public:
  virtual ~DownloadView() = default;

  virtual void SetMessage(const std::string& text) = 0;
  virtual void SetFileName(const std::string& text) = 0;
  // The bar's range, from `lower` to `upper`; its step is one.
  virtual void SetRange(int lower, int upper) = 0;
  // Where the bar stands. One step is one 1,024-byte piece of the file; a body
  // longer than the length reported at its start can step past the upper bound.
  virtual void SetPosition(int position) = 0;
  // The last file is done: the window closes.
  virtual void Close() = 0;
};

}  // namespace zendra
