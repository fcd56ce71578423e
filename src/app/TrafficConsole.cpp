#include "app/TrafficConsole.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <string_view>

#include "webupdate/ReplacementFile.h"
#include "widgets/GuiThread.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {
constexpr const char* kLogFilter =
    "Log Files(*.log)|*.log|Text Files(*.txt)|*.txt|All Files(*.*)|*.*|";
}  // namespace

TrafficConsole::TrafficConsole(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent, Qt::Window), connection_(connection), op_(op), tasks_(op, this) {
  setWindowTitle(QStringLiteral("Traffic Console"));
  setObjectName(QStringLiteral("trafficConsole"));
  // Esc puts the console away, as it closes a dialog; the log goes on.
  auto* hideAction = new QAction(QStringLiteral("Hide"), this);
  hideAction->setObjectName(QStringLiteral("hideConsole"));
  hideAction->setShortcut(QKeySequence(Qt::Key_Escape));
  hideAction->setShortcutContext(Qt::WindowShortcut);
  connect(hideAction, &QAction::triggered, this, &QWidget::hide);
  addAction(hideAction);

  view_ = new QPlainTextEdit(this);
  view_->setObjectName(QStringLiteral("trafficView"));
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMaximumBlockCount(kMaxLines);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view_->setPlaceholderText(
      QStringLiteral("Every byte on the serial line shows here: ms since the port opened, TX "
                     "sent, RX received, -- notes."));

  auto* label = new QLabel(QStringLiteral("AT command:"), this);
  command_ = new QLineEdit(this);
  command_->setObjectName(QStringLiteral("commandEdit"));
  command_->setPlaceholderText(QStringLiteral("AT+VERSION"));
  label->setBuddy(command_);
  send_ = new QPushButton(QStringLiteral("Send"), this);
  send_->setObjectName(QStringLiteral("sendButton"));
  save_ = new QPushButton(QStringLiteral("Save..."), this);
  save_->setObjectName(QStringLiteral("saveButton"));
  clear_ = new QPushButton(QStringLiteral("Clear"), this);
  clear_->setObjectName(QStringLiteral("clearButton"));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("commandStatus"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(command_, 1);
  row->addWidget(send_);
  row->addSpacing(12);
  row->addWidget(save_);
  row->addWidget(clear_);
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);
  layout->addWidget(view_, 1);
  layout->addLayout(row);
  layout->addWidget(status_);
  resize(760, 440);

  connect(send_, &QPushButton::clicked, this, &TrafficConsole::SendCommand);
  connect(command_, &QLineEdit::returnPressed, this, &TrafficConsole::SendCommand);
  connect(save_, &QPushButton::clicked, this, &TrafficConsole::OnSave);
  connect(clear_, &QPushButton::clicked, this, &TrafficConsole::Clear);

  // The log's thread formats; this window only appends what it posts.
  log_ = std::make_unique<TrafficLog>([this](std::vector<TrafficEntry>& entries) {
    PostToGui(this, [this, batch = std::move(entries)] { Append(batch); });
  });
}

TrafficConsole::~TrafficConsole() {
  // A command waiting for its answer ends at once; then the log's last lines.
  tasks_.StopAndJoin();
  log_.reset();
}

void TrafficConsole::Append(const std::vector<TrafficEntry>& entries) {
  QString text;
  for (const auto& entry : entries) {
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += QString::fromLatin1(TrafficFormatter::Line(entry));
  }
  view_->appendPlainText(text);
}

QString TrafficConsole::Text() const { return view_->toPlainText(); }

void TrafficConsole::Clear() { view_->clear(); }

void TrafficConsole::SendCommand() {
  const std::string typed = command_->text().toStdString();
  if (tasks_.Busy()) {
    status_->setText(QStringLiteral("The command before is still waiting for its answer."));
    return;
  }
  // Shown before the task starts: its answer (or a refusal, which comes at once)
  // replaces it whenever it comes.
  status_->setText(QStringLiteral("Waiting for the answer..."));
  auto reply = std::make_shared<ConsoleReply>();
  tasks_.Run([this, typed, reply](
                 std::stop_token stop) { *reply = ConsoleCommand::Send(connection_, typed, stop); },
             [this, typed, reply] { ShowReply(typed, *reply); });
}

void TrafficConsole::ShowReply(const std::string& typed, const ConsoleReply& reply) {
  status_->setText(QString::fromStdString(reply.Message()));
  using Outcome = ConsoleReply::Outcome;
  if (reply.outcome == Outcome::kLineBusy || reply.outcome == Outcome::kNotConnected ||
      reply.outcome == Outcome::kControlByte) {
    // The refusal has its place in the log too: nothing of it crossed the line.
    log_->Note("console: \"" + typed + "\" " + reply.Message());
  }
  if (reply.Sent()) command_->selectAll();
}

void TrafficConsole::OnSave() {
  const auto path = op_.ChooseFileToSave(kLogFilter, "zendra-traffic.log");
  if (path) SaveLog(*path);
}

bool TrafficConsole::SaveLog(const std::string& path) {
  // What was recorded up to now, in the view before it is written.
  log_->Flush();
  QCoreApplication::sendPostedEvents(this);
  const QByteArray text = Text().toLatin1() + '\n';
  // A failed save leaves a file that was there as it was.
  ReplacementFile file(path);
  if (!file.Open() || !file.Write(std::string_view(text.constData(), text.size())) ||
      !file.Commit()) {
    op_.ShowMessage("ERROR: The log could not be written to " + path + ".");
    return false;
  }
  return true;
}

void TrafficConsole::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  emit visibilityChanged(true);
}

void TrafficConsole::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit visibilityChanged(false);
}

}  // namespace zendra
