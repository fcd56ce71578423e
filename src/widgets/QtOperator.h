#pragma once
// The desktop program's Operator: message boxes, questions and file dialogs of
// the toolkit, documents opened by the desktop, and the wait cursor.
//
// Every call may come from a worker thread. A box or file dialog is carried onto
// the GUI thread over the bridge (widgets/GuiThread.h): the worker waits for the
// operator, the GUI thread never waits for a worker. The wait cursor belongs to the
// GUI thread's own handlers: a worker's calls leave it alone.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "base/Operator.h"

namespace zendra {

class QtOperator : public QObject, public Operator {
  Q_OBJECT

 public:
  explicit QtOperator(QObject* parent = nullptr);

  // The window the dialogs are modal to (the main dialog); null: the active window.
  void SetParentWindow(QWidget* window) { parentWindow_ = window; }
  // File dialogs start in the folder the same kind of file was last chosen in, kept
  // in the program's settings between runs (the desktop program turns this on).
  void RememberFolders(bool on) { rememberFolders_ = on; }

  void ShowMessage(const std::string& text) override;
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNoDefaultNo(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNoDefaultNoUntil(const std::string& text, std::stop_token withdraw) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& filter) override;
  std::optional<std::string> ChooseFileToSave(const std::string& filter,
                                              const std::string& suggestedName) override;
  // The dialog adds the extension to a name typed without one before it asks whether
  // to replace an existing file. The desktops' own dialogs on Linux ask about the name
  // as typed and leave the extension to the toolkit, after the question: there the
  // toolkit's dialog is used. Windows' and macOS's own dialogs add it themselves.
  std::optional<std::string> ChooseFileToSaveWithExtension(
      const std::string& filter, const std::string& suggestedName,
      const std::string& defaultExtension) override;
  void OpenDocument(const std::string& path) override;
  void BeginWait() override;
  void EndWait() override;

  static constexpr const char* kTitle = "Zendra Manager";

 private:
  // Runs `call` on the GUI thread and returns its result; at once when already there.
  template <typename F>
  auto OnGuiThread(F call) -> decltype(call());

  QWidget* DialogParent() const;
  bool Ask(const std::string& text, const std::string& caption, bool defaultNo);
  std::optional<std::string> SaveDialog(const std::string& filter, const std::string& suggestedName,
                                        const std::string& defaultExtension);

  // Where a dialog for `filter` starts, and the folder of what was chosen in it.
  QString StartFolder(const std::string& filter) const;
  void RememberFolder(const std::string& filter, const QString& chosen) const;

  QPointer<QWidget> parentWindow_;
  bool rememberFolders_ = false;
  int waitDepth_ = 0;  // nesting of BeginWait on the GUI thread
};

}  // namespace zendra
