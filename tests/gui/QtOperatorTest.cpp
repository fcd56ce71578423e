// The desktop Operator: its boxes and file dialogs, the wait cursor, and calls
// from a worker thread carried onto the GUI thread.

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "GuiTestSupport.h"
#include "support/TempFolder.h"
#include "widgets/FileDialogFilter.h"
#include "widgets/QtOperator.h"

namespace zendra::test {
namespace {

struct BoxSeen {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool onGuiThread = false;
};

BoxSeen Describe(QMessageBox* box) {
  return {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
          QThread::currentThread() == qApp->thread()};
}

TEST(QtOperator, AsksYesNoWithTheQuestionIconUnderItsCaptionOrTheProgramTitle) {
  QtOperator op;
  BoxSeen seen;
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    seen = Describe(box);
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_TRUE(op.AskYesNo("Would you like to update this manager?", "WARNING"));
  EXPECT_EQ(seen.title, "WARNING");
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    seen = Describe(box);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(op.AskYesNo("Do you want to reload?"));
  EXPECT_EQ(seen.title, "Zendra Manager");
}

TEST(QtOperator, WhatTheProgramKnowsMoreIsASecondTextUnderTheMessageAndNoIsEntersAnswer) {
  QtOperator op;
  QString text, informative;
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    informative = box->informativeText();
    box->button(QMessageBox::Ok)->click();
  });
  op.ShowDetailedMessage("ERROR: Could not open serial port.",
                         "/dev/ttyUSB0 is in use by another program.");
  EXPECT_EQ(text, "ERROR: Could not open serial port.") << "the system's message stays as it is";
  EXPECT_EQ(informative, "/dev/ttyUSB0 is in use by another program.");

  // A question whose Yes does harm: Enter answers No.
  QMessageBox::StandardButton byDefault = QMessageBox::NoButton;
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    byDefault = box->standardButton(box->defaultButton());
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(op.AskYesNoDefaultNo("Stop the update?"));
  EXPECT_EQ(byDefault, QMessageBox::No);
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    byDefault = box->standardButton(box->defaultButton());
    box->button(QMessageBox::No)->click();
  });
  op.AskYesNo("Do you want to reload?");
  EXPECT_EQ(byDefault, QMessageBox::Yes);
}

TEST(QtOperator, AWorkersQuestionIsAskedOnTheGuiThreadWhileTheWorkerWaitsForTheAnswer) {
  QtOperator op;
  std::atomic<int> answer{-1};
  BoxSeen seen;
  int answerWhileAsking = 0;
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    seen = Describe(box);
    answerWhileAsking = answer.load();
    box->button(QMessageBox::Yes)->click();
  });
  std::thread worker([&] { answer = op.AskYesNo("Clone the firmware?") ? 1 : 0; });
  EXPECT_TRUE(WaitUntil([&] { return answer.load() != -1; }));
  worker.join();
  EXPECT_TRUE(seen.onGuiThread);
  EXPECT_EQ(answerWhileAsking, -1) << "the worker did not wait for the answer";
  EXPECT_EQ(answer.load(), 1);
}

TEST(QtOperator, TheWaitCursorNestsAndGivesWayToAnArrowWhileAnOkBoxIsUpUnderTheProgramTitle) {
  QtOperator op;
  op.BeginWait();
  op.BeginWait();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  op.EndWait();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

  Qt::CursorShape during = Qt::BlankCursor;
  BoxSeen seen;
  WhenModalShows<QMessageBox>([&](QMessageBox* box) {
    during =
        QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::BlankCursor;
    seen = Describe(box);
    box->button(QMessageBox::Ok)->click();
  });
  op.ShowMessage("ERROR: The device does not respond.");
  EXPECT_EQ(during, Qt::ArrowCursor);
  EXPECT_EQ(seen.title, "Zendra Manager");
  EXPECT_EQ(seen.text, "ERROR: The device does not respond.");
  EXPECT_EQ(seen.buttons, QMessageBox::Ok);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

  op.EndWait();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  op.EndWait();  // an unmatched end is harmless
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtOperator, AWorkersWaitCursorCallsNeitherWaitForTheGuiThreadNorChangeTheCursor) {
  QtOperator op;
  std::atomic<bool> done{false};
  // The GUI thread runs no event loop meanwhile, as when it joins a worker.
  std::thread worker([&] {
    op.BeginWait();
    op.EndWait();
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_TRUE(done.load());
  WaitUntil([&] { return done.load(); });  // lets a blocked worker go before the join
  worker.join();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtOperator, TheOpenDialogOffersTheConvertedFiltersAndCancelGivesNoFile) {
  QtOperator op;
  QStringList filters;
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    dialog->reject();
  });
  EXPECT_EQ(op.ChooseFileToOpen("ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|"), std::nullopt);
  EXPECT_EQ(filters, QStringList({"ebl Files (*.ebl)", "All Files (*)"}));
}

// Types `name` into the dialog's name box (not through the keyboard focus) and
// presses Save as the dialog's own accept does.
void TypeAndSave(QFileDialog* dialog, const QString& folder, const QString& name) {
  dialog->setDirectory(folder);
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
  QMetaObject::invokeMethod(dialog, "accept");
}

TEST(QtOperator, TheSaveDialogAddsTheDefaultExtensionBeforeItAsksToReplaceAFile) {
  test::TempFolder folder;
  const std::string existing = folder.Write("site1.zgb", "old");
  const QString where = QString::fromStdString(folder.Path());
  const std::string filter = "zgb Files(*.zgb)|*.zgb|All Files(*.*)|*.*|";
  QtOperator op;

  // "site1" is site1.zgb, which exists: the dialog asks before it closes. No keeps
  // it open; the test then cancels it.
  QString suffix, question;
  bool stillOpen = false;
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    suffix = dialog->defaultSuffix();
    WhenModalShows<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      box->button(QMessageBox::No)->click();
    });
    TypeAndSave(dialog, where, "site1");
    stillOpen = dialog->isVisible();
    dialog->reject();
  });
  EXPECT_EQ(op.ChooseFileToSaveWithExtension(filter, "*.zgb", "zgb"), std::nullopt);
  EXPECT_EQ(suffix, "zgb");
  EXPECT_TRUE(question.startsWith("site1.zgb already exists.")) << question.toStdString();
  EXPECT_TRUE(stillOpen) << "No leaves the operator in the dialog";
  EXPECT_EQ(test::ReadFile(existing), "old");

  // Yes: the file with its extension.
  question.clear();
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    WhenModalShows<QMessageBox>([&](QMessageBox* box) {
      question = box->text();
      box->button(QMessageBox::Yes)->click();
    });
    TypeAndSave(dialog, where, "site1");
  });
  EXPECT_EQ(op.ChooseFileToSaveWithExtension(filter, "*.zgb", "zgb"), existing);
  EXPECT_FALSE(question.isEmpty());

  // A new name is not asked about; a dialog without a default extension adds none.
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) { TypeAndSave(dialog, where, "site2"); });
  EXPECT_EQ(op.ChooseFileToSaveWithExtension(filter, "*.zgb", "zgb"), folder.Path() + "site2.zgb");
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    suffix = dialog->defaultSuffix();
    TypeAndSave(dialog, where, "image");
  });
  EXPECT_EQ(op.ChooseFileToSave("ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|", "a.ebl"),
            folder.Path() + "image");
  EXPECT_EQ(suffix, "");
}

TEST(FileDialogFilter, TurnsPipeSeparatedPairsIntoDesktopFilters) {
  EXPECT_EQ(FileDialogFilter::ToDesktopFilter("ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|"),
            "ebl Files (*.ebl);;All Files (*)");
  EXPECT_EQ(FileDialogFilter::ToDesktopFilter("Configuration (*.zgb;*.ini)|*.zgb;*.ini||"),
            "Configuration (*.zgb *.ini)");
  EXPECT_EQ(FileDialogFilter::ToDesktopFilter("Text|*.txt"), "Text (*.txt)");
  EXPECT_EQ(FileDialogFilter::ToDesktopFilter(""), "");
}

}  // namespace
}  // namespace zendra::test
