#include "webupdate/ui/UpdateServerDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "webupdate/HttpClient.h"
#include "webupdate/UpdateServerCheck.h"
#include "webupdate/UpdateServerUrl.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/GuiThread.h"

namespace zendra {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// How one list answered, on a line of its own (and its detail under it).
std::string ListLine(const HttpClient& client, const std::string& url, const char* name,
                     std::stop_token stop) {
  const auto fetch = UpdateServerCheck::FetchListAt(client, url, name, stop);
  if (fetch.failure == UpdateServerCheck::ListFetch::Failure::kNone)
    return std::string(name) + ": a list of " + std::to_string(fetch.entries.size()) +
           (fetch.entries.size() == 1 ? " entry." : " entries.");
  std::string detail = fetch.detail;
  // The server is said once, above both lists.
  if (const auto file = detail.find("File: "); file != std::string::npos) detail.erase(0, file);
  for (std::size_t at = 0; (at = detail.find("\r\n", at)) != std::string::npos;)
    detail.replace(at, 2, " - ");
  return std::string(name) + ": " + UpdateServerCheck::FailureMessage(fetch, name) + " (" + detail +
         ")";
}

}  // namespace

UpdateServerDialog::UpdateServerDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Update Server"));
  auto* layout = new QVBoxLayout(this);
  inForce_ = new QLabel(this);
  inForce_->setObjectName(QStringLiteral("inForce"));
  inForce_->setWordWrap(true);
  inForce_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(inForce_);

  layout->addWidget(new QLabel(
      QStringLiteral("Stored server (a host name, host:port, or an http:// or https:// URL of "
                     "the folder; empty: the build's host):"),
      this));
  serverBox_ = new QLineEdit(this);
  serverBox_->setObjectName(QStringLiteral("serverBox"));
  serverBox_->setText(Q(UpdateServerSetting::Stored().value_or(std::string())));
  serverBox_->setPlaceholderText(Q(UpdateServerUrl::DefaultHost()));
  serverBox_->setMinimumWidth(serverBox_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 60);
  layout->addWidget(serverBox_);

  testResult_ = new QLabel(this);
  testResult_->setObjectName(QStringLiteral("testResult"));
  testResult_->setWordWrap(true);
  testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(testResult_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  testButton_ = buttons->addButton(QStringLiteral("&Test"), QDialogButtonBox::ActionRole);
  testButton_->setToolTip(
      QStringLiteral("Fetches the server's lists \"Firmware\" and \"Configs\""));
  // Enter in the box is no OK: the operator presses OK or Test.
  for (QAbstractButton* button : buttons->buttons())
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &UpdateServerDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &UpdateServerDialog::reject);
  connect(testButton_, &QPushButton::clicked, this, &UpdateServerDialog::Test);
  ShowInForce();
}

UpdateServerDialog::~UpdateServerDialog() {
  // The test's fetches end at once on the stop; its posts to this dialog are dropped.
  EndTest();
}

void UpdateServerDialog::EndTest() {
  if (!worker_.joinable()) return;
  worker_.request_stop();
  worker_.join();
}

QString UpdateServerDialog::InForceText() {
  const auto choice = UpdateServerSetting::Current();
  if (choice.url.empty()) return Q(UpdateServerUrl::UnusableMessage(choice));
  return Q("In force: " + choice.url + "\n(from " + UpdateServerUrl::SourceName(choice.source) +
           (choice.source == UpdateServerUrl::Source::kCommandLine ||
                    choice.source == UpdateServerUrl::Source::kEnvironment
                ? "; the stored server below counts for the runs without it)"
                : ")"));
}

void UpdateServerDialog::ShowInForce() { inForce_->setText(InForceText()); }

void UpdateServerDialog::Test() {
  if (Testing()) return;
  EndTest();
  const std::string typed = serverBox_->text().trimmed().toStdString();
  const std::string url = typed.empty()
                              ? UpdateServerUrl::Resolve(UpdateServerSetting::ForThisRun(), {})
                              : UpdateServerUrl::FromSetting(typed);
  if (url.empty()) {
    UpdateServerUrl::Choice choice;
    choice.value = typed;
    choice.source = UpdateServerUrl::Source::kStored;
    testResult_->setText(Q(UpdateServerUrl::UnusableMessage(choice)));
    return;
  }
  testResult_->setText(Q("Testing " + url + " ..."));
  testButton_->setEnabled(false);
  testDone_ = false;
  worker_ = std::jthread([this, url](std::stop_token stop) {
    const HttpClient client;
    std::string text = "Server: " + url + "\n" + ListLine(client, url, "Firmware", stop);
    if (!stop.stop_requested()) text += "\n" + ListLine(client, url, "Configs", stop);
    PostToGui(this, [this, text] {
      testResult_->setText(Q(text));
      testButton_->setEnabled(true);
      testDone_ = true;
    });
  });
}

void UpdateServerDialog::accept() {
  EndTest();
  UpdateServerSetting::Store(serverBox_->text().trimmed().toStdString());
  ShowInForce();
  QDialog::accept();
}

}  // namespace zendra
