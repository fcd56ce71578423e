#include "webupdate/ui/WebUpdateDialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/ControlIds.h"
#include "widgets/DialogUnits.h"
#include "widgets/FindControl.h"
#include "widgets/GuiThread.h"

namespace zendra {

namespace {

using Id = WebUpdateIds;

// The template's size in dialog units: the dialog's first size.
constexpr int kWidthDlu = 278;
constexpr int kHeightDlu = 72;

// A text of the template: it takes the width it is given, so that a long file name
// neither widens the dialog nor hides the bar.
QLabel* TextControl(int id, QWidget* parent) {
  auto* label = new QLabel(parent);
  SetControlId(label, id);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A group box framing one text, as the template draws it.
QGroupBox* Group(const QString& caption, QLabel* text, QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(text);
  return group;
}

}  // namespace

WebUpdateDialog::WebUpdateDialog(std::string updateServerUrl, std::vector<DownloadEntry> entries,
                                 Operator& op, QWidget* parent, HttpClient client,
                                 DownloadWorker::Options options)
    : QDialog(parent),
      relay_(op, this),
      worker_(std::move(updateServerUrl), std::move(entries), *this, relay_, client, options) {
  setWindowTitle(QStringLiteral("Web update"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  MarkTemplateRoot(this, TemplateIds::kWebUpdate);

  // The template's order: the "Message" group, the "File name" group, the bar.
  message_ = TextControl(Id::kMessage, this);
  fileName_ = TextControl(Id::kFileName, this);
  bar_ = new QProgressBar(this);
  SetControlId(bar_, Id::kProgress);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Group(QStringLiteral("Message"), message_, this));
  layout->addWidget(Group(QStringLiteral("File name"), fileName_, this));
  layout->addWidget(bar_);
  layout->addStretch(1);

  const DialogUnits units(font());
  resize(units.Size(kWidthDlu, kHeightDlu).expandedTo(minimumSizeHint()));
}

WebUpdateDialog::~WebUpdateDialog() {
  // Also when the dialog goes without having closed (its parent went first).
  relay_.Close();
  worker_.Stop();
}

std::vector<DownloadResult> WebUpdateDialog::RunModal() {
  // The task that opened the dialog shows the wait cursor; the operator, who may
  // close this window, sees an arrow over it.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  exec();
  QApplication::restoreOverrideCursor();
  return worker_.Results();
}

void WebUpdateDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  worker_.Start();
}

void WebUpdateDialog::done(int result) {
  // A box the worker waits for is answered now, then the worker ends where it is.
  relay_.Close();
  worker_.Stop();
  QDialog::done(result);
}

template <typename F>
void WebUpdateDialog::Post(F call) {
  // Queued also on the dialog's own thread: a call never re-enters a handler.
  PostToGui(this, std::move(call));
}

void WebUpdateDialog::SetMessage(const std::string& text) {
  Post([this, text = QString::fromStdString(text)] {
    messageText_ = text;
    message_->setText(text);
    emit messageShown(text);
  });
}

void WebUpdateDialog::SetFileName(const std::string& text) {
  Post([this, text = QString::fromStdString(text)] {
    fileNameText_ = text;
    fileName_->setText(text);
  });
}

void WebUpdateDialog::SetRange(int lower, int upper) {
  Post([this, lower, upper] { bar_->setRange(lower, upper); });
}

void WebUpdateDialog::SetPosition(int position) {
  pendingPosition_.store(position);
  if (positionPosted_.exchange(true)) return;  // the waiting call will show it
  Post([this] {
    positionPosted_.store(false);
    // A body longer than its announced length steps past the range's end; the bar
    // then stays full instead of ignoring the value.
    bar_->setValue(std::clamp(pendingPosition_.load(), bar_->minimum(), bar_->maximum()));
  });
}

void WebUpdateDialog::Close() {
  // The modal run ends as if cancelled.
  Post([this] { done(QDialog::Rejected); });
}

}  // namespace zendra
