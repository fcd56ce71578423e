// The download dialog offscreen against a real HTTP server on the loopback
// interface: what it shows while its worker fetches, the error boxes, its closing
// by itself and by the operator; the desktop's runner from a module task; and the
// definition loader's update question downloading the file it then loads.

#include <gmock/gmock.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/ScopedEnvironment.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "support/http/LoopbackUpdateServer.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "webupdate/ui/WebUpdate.h"
#include "webupdate/ui/WebUpdateDialog.h"
#include "webupdate/ui/WebUpdateRunner.h"
#include "widgets/DialogUnits.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The template's controls, restated.
constexpr int kFileName = 1050;
constexpr int kMessage = 1051;
constexpr int kProgress = 1052;

// Records, with every box, what the dialog's message said when the box came up.
class BoxWitness : public FakeOperator {
 public:
  void ShowMessage(const std::string& text) override {
    if (dialog) shownWith.push_back(dialog->MessageText().toStdString());
    FakeOperator::ShowMessage(text);
  }
  WebUpdateDialog* dialog = nullptr;
  std::vector<std::string> shownWith;
};

TEST(WebUpdateDialogTest, IsTheTemplatesThreeControlsInItsGroupsAtItsSize) {
  FakeOperator op;
  WebUpdateDialog dialog("http://127.0.0.1:1/", {}, op);
  EXPECT_EQ(dialog.windowTitle(), "Web update");
  auto* message = FindControl<QLabel>(&dialog, kMessage);
  auto* fileName = FindControl<QLabel>(&dialog, kFileName);
  auto* bar = FindControl<QProgressBar>(&dialog, kProgress);
  ASSERT_TRUE(message && fileName && bar);
  EXPECT_EQ(qobject_cast<QGroupBox*>(message->parentWidget())->title(), "Message");
  EXPECT_EQ(qobject_cast<QGroupBox*>(fileName->parentWidget())->title(), "File name");
  EXPECT_TRUE(message->text().isEmpty());
  EXPECT_TRUE(fileName->text().isEmpty());
  // Top to bottom as in the template; no buttons.
  dialog.layout()->activate();
  EXPECT_LT(message->mapTo(&dialog, QPoint()).y(), fileName->mapTo(&dialog, QPoint()).y());
  EXPECT_LT(fileName->mapTo(&dialog, QPoint()).y(), bar->mapTo(&dialog, QPoint()).y());
  EXPECT_TRUE(dialog.findChildren<QPushButton*>().isEmpty());
  const QSize templateSize = DialogUnits(dialog.font()).Size(278, 72);
  EXPECT_EQ(dialog.width(), templateSize.width());
  EXPECT_GE(dialog.height(), templateSize.height());
}

TEST(WebUpdateDialogTest, AnErrorPageInTheMiddleIsReportedAndTheDialogClosesItselfAfterTheLast) {
  LoopbackUpdateServer server;
  TempFolder folder;
  server.Serve("a.zmcon", std::string(5000, 'a'));
  server.Serve("b.zmcon", "<html><body>Not found</body></html>", 200, "text/html");
  server.Serve("c.zmcon", "third");
  BoxWitness op;
  WebUpdateDialog dialog(server.BaseUrl(),
                         {{"a.zmcon", folder.Path() + "a.zmcon"},
                          {"b.zmcon", folder.Path() + "b.zmcon"},
                          {"c.zmcon", folder.Path() + "c.zmcon"}},
                         op);
  op.dialog = &dialog;
  std::vector<std::string> messages;
  QObject::connect(&dialog, &WebUpdateDialog::messageShown,
                   [&](const QString& text) { messages.push_back(text.toStdString()); });

  const auto results = dialog.RunModal();  // returns when the dialog has closed itself

  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.WorkerRunning());
  EXPECT_THAT(messages, ElementsAre("Downloading file now.. (1/3)", "Downloading Complete.",
                                    "Downloading file now.. (2/3)", "Downloading Complete.",
                                    "Downloading file now.. (3/3)", "Downloading Complete."));
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: Could not download file:\r\n'b.zmcon'."));
  EXPECT_THAT(op.shownWith, ElementsAre("Downloading file now.. (2/3)"));
  EXPECT_THAT(results,
              ElementsAre(DownloadResult::kSaved, DownloadResult::kFailed, DownloadResult::kSaved));
  EXPECT_EQ(FindControl<QLabel>(&dialog, kFileName)->text(), "c.zmcon");
  EXPECT_EQ(FindControl<QLabel>(&dialog, kMessage)->text(), "Downloading Complete.");
  EXPECT_EQ(ReadFile(folder.Path() + "a.zmcon"), std::string(5000, 'a'));
  EXPECT_EQ(ReadFile(folder.Path() + "c.zmcon"), "third");
  // An error page is never saved as the file.
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "b.zmcon"));
}

TEST(WebUpdateDialogTest, AnEmptyListOpensAndClosesAtOnce) {
  FakeOperator op;
  WebUpdateDialog dialog("http://127.0.0.1:1/", {}, op);
  EXPECT_THAT(dialog.RunModal(), IsEmpty());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_THAT(op.Events(), IsEmpty());
}

TEST(WebUpdateDialogTest, EscapeOrTheClosingBoxEndsASlowTransferAtOnceAndKeepsTheOldFile) {
  for (const bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "closing box");
    LoopbackUpdateServer server;
    TempFolder folder;
    server.ServeStalled("slow.ebl", 1'000'000, 8192);
    const std::string old = folder.Write("slow.ebl", "old image");
    FakeOperator op;
    WebUpdateDialog dialog(server.BaseUrl(), {{"slow.ebl", old}, {"next.ebl", old + ".2"}}, op);
    dialog.show();
    auto* bar = FindControl<QProgressBar>(&dialog, kProgress);
    ASSERT_TRUE(WaitUntil([&] { return bar->value() >= 1; }));
    EXPECT_EQ(bar->maximum(), 1'000'000 / 1024 + 1);

    QElapsedTimer clock;
    clock.start();
    if (escape)
      QTest::keyClick(&dialog, Qt::Key_Escape);
    else
      dialog.close();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.WorkerRunning());  // stopped and joined by the closing
    EXPECT_THAT(dialog.Results(), ElementsAre(DownloadResult::kNotRun, DownloadResult::kNotRun));
    // What was posted before the stop may still arrive; nothing after it does.
    QCoreApplication::processEvents();
    EXPECT_NE(dialog.MessageText(), "Downloading Complete.");
    EXPECT_THAT(op.Events(), IsEmpty());
    EXPECT_EQ(ReadFile(old), "old image");
    EXPECT_FALSE(std::filesystem::exists(old + ".2"));
    server.Release();
  }
}

TEST(WebUpdateDialogTest, TheBarShowsWhereATransferStandsWhenItPausesAfterABurst) {
  LoopbackUpdateServer server;
  TempFolder folder;
  server.ServeStalled("paused.ebl", 10'000, 4096);  // four pieces at once, then nothing
  FakeOperator op;
  WebUpdateDialog dialog(server.BaseUrl(), {{"paused.ebl", folder.Path() + "paused.ebl"}}, op);
  dialog.show();
  auto* bar = FindControl<QProgressBar>(&dialog, kProgress);
  EXPECT_TRUE(WaitUntil([&] { return bar->value() == 4; }, 5000)) << bar->value();
  EXPECT_EQ(bar->maximum(), 10'000 / 1024 + 1);
  dialog.close();
  server.Release();
}

TEST(WebUpdateRunnerTest, FromAModuleTaskTheDialogRunsOnTheGuiThreadAndTheTaskWaitsForIt) {
  LoopbackUpdateServer server;
  TempFolder folder;
  server.Serve("a.ebl", "image");
  FakeOperator op;
  QWidget window;
  WebUpdateRunner runner(op, &window);
  std::vector<DownloadResult> results;
  std::atomic<bool> over{false};
  std::jthread task([&] {
    results = runner.RunDownloads(server.BaseUrl(), {{"a.ebl", folder.Path() + "a.ebl"}});
    over = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return over.load(); }));
  EXPECT_THAT(results, ElementsAre(DownloadResult::kSaved));
  EXPECT_EQ(ReadFile(folder.Path() + "a.ebl"), "image");
}

TEST(WebUpdateRunnerTest, ATaskStoppedBeforeTheDialogOpenedDoesNotOpenIt) {
  LoopbackUpdateServer server;
  TempFolder folder;
  server.Serve("a.ebl", "image");
  FakeOperator op;
  QWidget window;
  std::stop_source stop;
  WebUpdateRunner runner(op, &window, stop.get_token());
  std::vector<DownloadResult> results;
  // The window's thread does not run its events: it is closing, stopping the task.
  std::jthread task([&] {
    results = runner.RunDownloads(server.BaseUrl(), {{"a.ebl", folder.Path() + "a.ebl"}});
  });
  stop.request_stop();
  task.join();
  EXPECT_THAT(results, ElementsAre(DownloadResult::kNotRun));
  // The call it had posted does nothing when it comes.
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() + "a.ebl"));
}

// The module runs a version whose definition file the program does not have yet.
sim::Options NewerModule() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.12.0";
  return options;
}

TEST(WebUpdateConfigTest, TheVersionQuestionDownloadsTheDefinitionFileThatIsThenLoaded) {
  LoopbackUpdateServer server;
  server.Serve("Configs", "VEXA\r\nMA11_v1.12.0.zmcon\r\n");
  server.Serve("MA11_v1.12.0.zmcon", "[Node/Downloaded name]String;<d>;Command = AT+NODENAME;");
  UpdateServerSetting::SetForThisRun(server.BaseUrl());
  TempFolder data;
  ScopedEnvironment xdg("XDG_DATA_HOME", data.Path());
  const std::string userFolder = data.Path() + "zendra-manager/definitions/";

  // A program folder that takes files gets the download; one below a regular file
  // (which not even root can write to) leaves it to the user's folder.
  TempFolder program;
  const std::string unwritable = program.Write("not-a-folder", "") + "/";
  for (const std::string& programFolder : {program.Path(), unwritable}) {
    SCOPED_TRACE(programFolder);
    SimHarness harness(NewerModule(), 0.3);
    FakeOperator op;
    PortList noPorts;
    MainDialog dialog(op, &noPorts);
    dialog.Config()->Loader().SetProgramFolder(programFolder);
    dialog.AddAndSelectPort(harness.Sim().PortPath());
    dialog.show();
    op.QueueAnswer(true);  // "Would you like to update this manager?"

    FindControl<QPushButton>(&dialog, 1009)->click();  // Open
    Settle(&dialog);

    EXPECT_THAT(op.Questions(),
                ElementsAre("WARNING: Could not recognize the firmware version.\r\nMaybe this "
                            "manager is out of date. Would you like to update this manager?"));
    EXPECT_THAT(op.Messages(), IsEmpty());
    auto* tree = FindControl<QTreeWidget>(dialog.Config(), 1001);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Node");
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Downloaded name");
    const std::string expected =
        (programFolder == program.Path() ? programFolder : userFolder) + "MA11_v1.12.0.zmcon";
    EXPECT_EQ(dialog.Config()->Loader().LoadedPath(), expected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the download dialog has closed
  }
  UpdateServerSetting::SetForThisRun(std::nullopt);
}

TEST(WebUpdateConfigTest, AStalledUpdateServerLeavesTheWindowWorkingAndTheTreeIsLoadedAfterIt) {
  LoopbackUpdateServer server;
  // The list never comes whole until the server is let go.
  server.ServeStalled("Configs", 100, 10);
  UpdateServerSetting::SetForThisRun(server.BaseUrl());
  TempFolder data;
  ScopedEnvironment xdg("XDG_DATA_HOME", data.Path());
  TempFolder program;
  program.Write("MA11_v1.9.5.zmcon", "[Node/Older name]String;<d>;Command = AT+NODENAME;");

  SimHarness harness(NewerModule(), 0.3);
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.Config()->Loader().SetProgramFolder(program.Path());
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  dialog.show();
  op.QueueAnswer(true);  // "Would you like to update this manager?"

  // Should the window's thread wait for the server, this lets the server go after a
  // while (the stall is the stimulus here, not a wait for a condition).
  std::atomic<bool> released = false;
  std::jthread releaser([&](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    cv.wait_for(lock, stop, std::chrono::seconds(3), [] { return false; });
    released = true;
    server.Release();
  });

  FindControl<QPushButton>(&dialog, 1009)->click();  // Open
  ASSERT_TRUE(WaitUntil([&] { return !op.Questions().empty(); }, 30000));
  // The question was answered; the server is asked while the window goes on, its
  // event loop never held up for longer than a frame or two.
  TickProbe probe;
  ASSERT_TRUE(WaitUntil([&] { return released.load(); }, 30000));
  std::cout << "largest gap between two 20 ms ticks during the check: " << probe.LargestGap()
            << " ms" << std::endl;
  EXPECT_LE(probe.LargestGap(), 100) << "the window waited for the update server";
  EXPECT_TRUE(dialog.Config()->DefinitionUpdates().Busy() || !op.Messages().empty())
      << "the check runs as the page's task";

  // Once the check has ended (the list never came whole), the tree is loaded: the
  // wanted file once more, then the best other one. The question is not asked again.
  ASSERT_TRUE(Settle(&dialog));
  EXPECT_THAT(op.Questions(), ::testing::SizeIs(1));
  EXPECT_THAT(op.Messages(), ElementsAre("Could not connect to web server!"));
  auto* tree = FindControl<QTreeWidget>(dialog.Config(), 1001);
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "Older name");
  EXPECT_EQ(dialog.Config()->Loader().LoadedPath(), program.Path() + "MA11_v1.9.5.zmcon");
  UpdateServerSetting::SetForThisRun(std::nullopt);
}

TEST(WebUpdateConfigTest, AnUnusableServerAddressIsReportedByNameAndNothingIsFetched) {
  // The settings live in the tests' own folder (main.cpp), under the names of the program.
  const QString organisation = QCoreApplication::organizationName();
  const QString application = QCoreApplication::applicationName();
  QCoreApplication::setOrganizationName(QStringLiteral("Zendra"));
  QCoreApplication::setApplicationName(QStringLiteral("Zendra Manager"));
  ScopedEnvironment env("ZENDRA_UPDATE_SERVER", std::nullopt);
  UpdateServerSetting::Store("ftp://files.example/zm");
  EXPECT_EQ(UpdateServerSetting::Stored(), "ftp://files.example/zm");

  TempFolder program;
  FakeOperator op;
  WebUpdate::CheckConfigUpdates(program.Path(), op, nullptr);
  ASSERT_THAT(op.Messages(), ::testing::SizeIs(1));
  EXPECT_THAT(op.Messages()[0], ::testing::HasSubstr("\"ftp://files.example/zm\""));
  EXPECT_THAT(op.Messages()[0], ::testing::HasSubstr("\"updateServer\""));

  // The environment comes before the stored setting, this run's value before both.
  {
    ScopedEnvironment usable("ZENDRA_UPDATE_SERVER", "env.example");
    EXPECT_EQ(UpdateServerSetting::Current().url,
              "http://env.example/download/software/zendra_manager/");
    UpdateServerSetting::SetForThisRun("run.example:8080");
    EXPECT_EQ(UpdateServerSetting::Current().url,
              "http://run.example:8080/download/software/zendra_manager/");
    UpdateServerSetting::SetForThisRun(std::nullopt);
  }
  UpdateServerSetting::Store("");
  EXPECT_EQ(UpdateServerSetting::Stored(), std::nullopt);
  QCoreApplication::setOrganizationName(organisation);
  QCoreApplication::setApplicationName(application);
}

}  // namespace
}  // namespace zendra::test
