#pragma once
// Everything that needs the person at the keyboard goes through one Operator:
// error boxes, Yes/No questions, file dialogs, opening a document and the wait
// cursor. The desktop program answers with Qt dialogs, the command line program
// with its flags and terminal prompts, the tests with a scripted fake.
//
// Implementations must accept calls from worker threads: a worker that asks a
// question blocks until the answer comes, the GUI thread never waits for a worker.

#include <optional>
#include <stop_token>
#include <string>

namespace zendra {

class Operator {
 public:
  virtual ~Operator() = default;

  // An OK message box under the program's title. Texts are shown exactly as given.
  virtual void ShowMessage(const std::string& text) = 0;
  // The same with what the program knows beyond the system's message — the port's
  // path and the system's reason, the image's model and the module's product — as
  // a second, smaller text under it (a second line on a terminal). An operator that
  // has no place for it shows the message alone.
  virtual void ShowDetailedMessage(const std::string& text, const std::string& detail) {
    (void)detail;
    ShowMessage(text);
  }

  // A Yes/No question with the question icon; true for Yes. An empty caption
  // means the program's title.
  virtual bool AskYesNo(const std::string& text, const std::string& caption = {}) = 0;
  // The same with No as the answer Enter gives: for a question whose Yes does harm
  // (stopping a firmware update half-way).
  virtual bool AskYesNoDefaultNo(const std::string& text, const std::string& caption = {}) {
    return AskYesNo(text, caption);
  }
  // The same question about something that may end while it is open (stopping a
  // transfer): once `withdraw` is requested the box goes by itself and the answer
  // is No, so that no box outlives what it asks about. An operator that answers at
  // once just asks.
  virtual bool AskYesNoDefaultNoUntil(const std::string& text, std::stop_token withdraw) {
    if (withdraw.stop_requested()) return false;
    return AskYesNoDefaultNo(text);
  }

  // Open and save file dialogs. `filter` has the form
  // "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|". Empty optional on cancel.
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& filter) = 0;
  virtual std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                                      const std::string& suggestedName) = 0;

  // Opens a document with the desktop's default program (a log file, say).
  virtual void OpenDocument(const std::string& path) = 0;

  // The wait (busy) cursor. Calls nest: the cursor shows until every BeginWait
  // has its EndWait.
  virtual void BeginWait() = 0;
  virtual void EndWait() = 0;
};

// Shows the wait cursor for the lifetime of the guard.
class WaitCursor {
 public:
  explicit WaitCursor(Operator& op) : op_(op) { op_.BeginWait(); }
  ~WaitCursor() { op_.EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Operator& op_;
};

}  // namespace zendra
