// The update server in the window: "Download from web server" against a server
// that is down or answers an error gives one message that names it, also with
// remote devices in the list; Options > Update Server... shows the server in force
// and where it comes from, tests a server, and stores the operator's choice.

#include <gmock/gmock.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/ScopedEnvironment.h"
#include "support/SimHarness.h"
#include "support/http/LoopbackUpdateServer.h"
#include "webupdate/UpdateServerUrl.h"
#include "webupdate/ui/UpdateServerDialog.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// Restated: Open (1009), the baud rate box (1011); the Firmware Update page's
// device list (1014), Search (1035) and "Download from web server" (1039).
constexpr int kOpen = 1009;
constexpr int kBaudRate = 1011;
constexpr int kDeviceList = 1014;
constexpr int kSearch = 1035;
constexpr int kDownload = 1039;

// The update server of this run, as --update-server gives it.
class ScopedServerForThisRun {
 public:
  explicit ScopedServerForThisRun(std::optional<std::string> url) {
    UpdateServerSetting::SetForThisRun(std::move(url));
  }
  ~ScopedServerForThisRun() { UpdateServerSetting::SetForThisRun(std::nullopt); }
};

sim::Options ModuleWithTwoRemotes() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.baudRate = 115200;
  options.remotes = sim::GeneratedNetwork(2);
  // Another product than the local one: each would be checked against the server.
  for (auto& remote : options.remotes) remote.productName = "MB11";
  return options;
}

class ServerDownInTheWindow : public ::testing::Test {
 protected:
  ServerDownInTheWindow() : harness(ModuleWithTwoRemotes(), 0.1) {
    dialog->AddAndSelectPort(harness.Sim().PortPath());
    dialog->show();
    dialog->Tabs()->setCurrentIndex(1);
  }

  void ConnectAndSearch() {
    auto* baud = FindControl<QComboBox>(dialog.get(), kBaudRate);
    baud->setCurrentIndex(baud->findText("115200"));
    FindControl<QPushButton>(dialog.get(), kOpen)->click();
    ASSERT_TRUE(Settle(dialog.get()));
    ASSERT_TRUE(dialog->Conn().IsOpen()) << ::testing::PrintToString(op.Messages());
    FindControl<QPushButton>(dialog->Firmware(), kSearch)->click();
    ASSERT_TRUE(Settle(dialog.get()));
    ASSERT_EQ(FindControl<DeviceListCtrl>(dialog->Firmware(), kDeviceList)->rowCount(), 2);
    op.Clear();
  }

  SimHarness harness;
  FakeOperator op;
  PortList noPorts;
  std::unique_ptr<MainDialog> dialog = std::make_unique<MainDialog>(op, &noPorts);
};

TEST_F(ServerDownInTheWindow, ARefusedConnectionOrAnErrorAnswerIsOneMessageThatNamesTheServer) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndSearch());
  const std::string nobody =
      "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/download/";
  LoopbackUpdateServer server;
  server.Serve("Firmware", "<html><body>Internal Server Error</body></html>", 500, "text/html");
  struct Case {
    std::string url;
    std::string message;
    std::string what;
  };
  for (const Case& c :
       {Case{nobody, "ERROR: Could not connect to web server!", "Could not connect"},
        Case{server.BaseUrl(), "ERROR: Could not connect to update server.",
             "The server answered HTTP 500."}}) {
    SCOPED_TRACE(c.url);
    const ScopedServerForThisRun setting(c.url);
    op.Clear();
    FindControl<QPushButton>(dialog->Firmware(), kDownload)->click();
    ASSERT_TRUE(Settle(dialog.get()));
    // Not five boxes ending in "No new firmware": one, with the server and the file.
    EXPECT_THAT(op.Messages(), ElementsAre(c.message));
    ASSERT_EQ(op.Details().size(), 1u);
    EXPECT_THAT(op.Details()[0], StartsWith("Server: " + c.url + "\r\nFile: Firmware\r\n"));
    EXPECT_THAT(op.Details()[0], HasSubstr(c.what));
    EXPECT_THAT(op.Questions(), IsEmpty());
    EXPECT_FALSE(dialog->Conn().Gate().Leased());
  }
}

TEST(UpdateServerDialogTest, ShowsTheServerInForceAndWhereItComesFrom) {
  UpdateServerSetting::Store("stored.example");
  {
    const ScopedEnvironment noVariable(UpdateServerUrl::kEnvironmentVariable, std::nullopt);
    UpdateServerDialog dialog;
    EXPECT_EQ(dialog.ServerBox()->text(), "stored.example");
    EXPECT_EQ(dialog.InForce()->text().toStdString(),
              "In force: http://stored.example/download/software/zendra_manager/\n(from the "
              "stored setting \"updateServer\")");
    const ScopedServerForThisRun run("run.example:8080");
    UpdateServerDialog commandLine;
    EXPECT_EQ(commandLine.InForce()->text().toStdString(),
              "In force: http://run.example:8080/download/software/zendra_manager/\n(from "
              "--update-server; the stored server below counts for the runs without it)");
  }
  {
    const ScopedEnvironment variable(UpdateServerUrl::kEnvironmentVariable, "env.example");
    UpdateServerDialog dialog;
    EXPECT_THAT(dialog.InForce()->text().toStdString(),
                HasSubstr("(from the environment variable ZENDRA_UPDATE_SERVER;"));
  }
  UpdateServerSetting::Store("ftp://nowhere");
  UpdateServerDialog unusable;
  EXPECT_THAT(unusable.InForce()->text().toStdString(), HasSubstr("\"ftp://nowhere\""));
  UpdateServerSetting::Store("");
}

TEST(UpdateServerDialogTest, TestNamesHowEachListAnsweredAndOkStoresTheBox) {
  const ScopedEnvironment noVariable(UpdateServerUrl::kEnvironmentVariable, std::nullopt);
  UpdateServerSetting::Store("");
  LoopbackUpdateServer server;
  server.Serve("Firmware", "VEXA\nMA11:1.0:a.ebl\nMB11:2.0:b.ebl\n");
  server.Serve("Configs", "<html>Not Found</html>", 404, "text/html");

  UpdateServerDialog dialog;
  dialog.show();
  dialog.ServerBox()->setText(QString::fromStdString(server.BaseUrl()));
  dialog.TestButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return !dialog.Testing(); }, 20000));
  EXPECT_EQ(dialog.TestResult()->text().toStdString(),
            "Server: " + server.BaseUrl() +
                "\nFirmware: a list of 2 entries.\nConfigs: ERROR: Could not connect to update "
                "server. (File: Configs - The server answered HTTP 404.)");
  EXPECT_TRUE(dialog.TestButton()->isEnabled());

  const std::string nobody = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
  dialog.ServerBox()->setText(QString::fromStdString(nobody));
  dialog.TestButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return !dialog.Testing(); }, 20000));
  EXPECT_THAT(dialog.TestResult()->text().toStdString(),
              StartsWith("Server: http://" + nobody +
                         "/download/software/zendra_manager/\nFirmware: ERROR: Could not connect "
                         "to web server! (File: Firmware - Could not connect"));

  dialog.ServerBox()->setText("gopher://x");
  dialog.TestButton()->click();
  EXPECT_FALSE(dialog.Testing());
  EXPECT_THAT(dialog.TestResult()->text().toStdString(), HasSubstr("\"gopher://x\""));

  // OK keeps the box's server for later runs; Cancel would not.
  dialog.ServerBox()->setText(QString::fromStdString(nobody));
  dialog.accept();
  EXPECT_EQ(UpdateServerSetting::Stored(), nobody);
  EXPECT_EQ(UpdateServerSetting::Current().source, UpdateServerUrl::Source::kStored);
  UpdateServerDialog again;
  again.ServerBox()->setText("other.example");
  again.reject();
  EXPECT_EQ(UpdateServerSetting::Stored(), nobody);
  UpdateServerSetting::Store("");
}

TEST(UpdateServerDialogTest, TheOptionsMenuOpensIt) {
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  ASSERT_NE(dialog.UpdateServerAction(), nullptr);
  EXPECT_EQ(dialog.UpdateServerAction()->text(), "Update &Server...");
  bool shown = false;
  QTimer::singleShot(0, [&] {
    auto* open = qobject_cast<UpdateServerDialog*>(QApplication::activeModalWidget());
    shown = open != nullptr;
    if (open) open->reject();
  });
  dialog.UpdateServerAction()->trigger();
  EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace zendra::test
