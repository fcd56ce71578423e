#include "widgets/QtOperator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include "widgets/FileDialogFilter.h"
#include "widgets/GuiThread.h"
#include "widgets/Settings.h"

namespace zendra {

namespace {

// While a message box is up the operator must see an arrow, not the wait cursor
// of the handler that asked; the wait cursor comes back when the box closes.
class ArrowWhileAsking {
 public:
  explicit ArrowWhileAsking(bool waiting) : active_(waiting) {
    if (active_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileAsking() {
    if (active_) QApplication::restoreOverrideCursor();
  }
  ArrowWhileAsking(const ArrowWhileAsking&) = delete;
  ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

 private:
  bool active_;
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QtOperator::QtOperator(QObject* parent) : QObject(parent) {}

template <typename F>
auto QtOperator::OnGuiThread(F call) -> decltype(call()) {
  // The call uses the asking thread's own data: the bridge waits for its end.
  using Result = decltype(call());
  if constexpr (std::is_void_v<Result>) {
    CallOnGui(this, std::move(call));
  } else {
    return AskGui(this, std::move(call), Result{});
  }
}

QWidget* QtOperator::DialogParent() const {
  if (parentWindow_) return parentWindow_;
  return QApplication::activeWindow();
}

void QtOperator::ShowMessage(const std::string& text) {
  OnGuiThread([&] {
    ArrowWhileAsking arrow(waitDepth_ > 0);
    QMessageBox box(QMessageBox::NoIcon, kTitle, Q(text), QMessageBox::Ok, DialogParent());
    box.exec();
  });
}

void QtOperator::ShowDetailedMessage(const std::string& text, const std::string& detail) {
  OnGuiThread([&] {
    ArrowWhileAsking arrow(waitDepth_ > 0);
    QMessageBox box(QMessageBox::NoIcon, kTitle, Q(text), QMessageBox::Ok, DialogParent());
    box.setInformativeText(Q(detail));
    box.exec();
  });
}

bool QtOperator::AskYesNo(const std::string& text, const std::string& caption) {
  return Ask(text, caption, false);
}

bool QtOperator::AskYesNoDefaultNo(const std::string& text, const std::string& caption) {
  return Ask(text, caption, true);
}

bool QtOperator::Ask(const std::string& text, const std::string& caption, bool defaultNo) {
  return OnGuiThread([&] {
    ArrowWhileAsking arrow(waitDepth_ > 0);
    QMessageBox box(QMessageBox::Question, caption.empty() ? QString(kTitle) : Q(caption), Q(text),
                    QMessageBox::Yes | QMessageBox::No, DialogParent());
    box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
  });
}

bool QtOperator::AskYesNoDefaultNoUntil(const std::string& text, std::stop_token withdraw) {
  return OnGuiThread([&] {
    if (withdraw.stop_requested()) return false;
    ArrowWhileAsking arrow(waitDepth_ > 0);
    QMessageBox box(QMessageBox::Question, kTitle, Q(text), QMessageBox::Yes | QMessageBox::No,
                    DialogParent());
    box.setDefaultButton(QMessageBox::No);
    // The withdrawal may come from any thread; the box goes on its own thread. The
    // callback ends before the box does (it is destroyed first), and a queued call
    // to a box that has gone is dropped.
    QMessageBox* open = &box;
    const std::stop_callback close(
        withdraw, [open] { PostToGui(open, [open] { open->done(QMessageBox::No); }); });
    return box.exec() == QMessageBox::Yes;
  });
}

std::optional<std::string> QtOperator::ChooseFileToOpen(const std::string& filter) {
  return OnGuiThread([&]() -> std::optional<std::string> {
    ArrowWhileAsking arrow(waitDepth_ > 0);
    const QString path =
        QFileDialog::getOpenFileName(DialogParent(), QString(), StartFolder(filter),
                                     Q(FileDialogFilter::ToDesktopFilter(filter)));
    if (path.isEmpty()) return std::nullopt;
    RememberFolder(filter, path);
    return path.toStdString();
  });
}

std::optional<std::string> QtOperator::ChooseFileToSave(const std::string& filter,
                                                        const std::string& suggestedName) {
  return SaveDialog(filter, suggestedName, {});
}

std::optional<std::string> QtOperator::ChooseFileToSaveWithExtension(
    const std::string& filter, const std::string& suggestedName,
    const std::string& defaultExtension) {
  return SaveDialog(filter, suggestedName, defaultExtension);
}

std::optional<std::string> QtOperator::SaveDialog(const std::string& filter,
                                                  const std::string& suggestedName,
                                                  const std::string& defaultExtension) {
  return OnGuiThread([&]() -> std::optional<std::string> {
    ArrowWhileAsking arrow(waitDepth_ > 0);
    // A bare suggested name goes into the remembered folder.
    QString start = Q(suggestedName);
    const QString folder = StartFolder(filter);
    if (!folder.isEmpty() && QFileInfo(start).isRelative()) start = QDir(folder).filePath(start);
    QFileDialog dialog(DialogParent(), QString(), QString(),
                       Q(FileDialogFilter::ToDesktopFilter(filter)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!defaultExtension.empty()) {
      dialog.setDefaultSuffix(Q(defaultExtension));
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
      dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    }
    if (!start.isEmpty()) dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    RememberFolder(filter, chosen.first());
    return chosen.first().toStdString();
  });
}

QString QtOperator::StartFolder(const std::string& filter) const {
  if (!rememberFolders_) return {};
  const QString folder = OpenSettings()->value(FolderKey(filter)).toString();
  // A folder that has gone since is no place to start; the dialog picks its own.
  return QFileInfo(folder).isDir() ? folder : QString();
}

void QtOperator::RememberFolder(const std::string& filter, const QString& chosen) const {
  if (!rememberFolders_) return;
  OpenSettings()->setValue(FolderKey(filter), QFileInfo(chosen).absolutePath());
}

void QtOperator::OpenDocument(const std::string& path) {
  OnGuiThread([&] { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))); });
}

void QtOperator::BeginWait() {
  // The wait cursor says that the GUI thread is busy. A worker's transactions leave
  // the window free to use, and they must never wait for the GUI thread (which may
  // be joining that very worker), so their calls change nothing.
  if (QThread::currentThread() != thread()) return;
  // Every AT transaction asks for the wait cursor again inside its handler's own
  // wait; only the outermost call changes the cursor and shows it.
  if (waitDepth_++ > 0) return;
  // The cursor shows when the event loop next runs: a handler's conversations run
  // as module tasks and leave the loop free, so nothing is re-entered here.
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtOperator::EndWait() {
  if (QThread::currentThread() != thread()) return;
  if (waitDepth_ == 0) return;
  if (--waitDepth_ == 0) QApplication::restoreOverrideCursor();
}

}  // namespace zendra
