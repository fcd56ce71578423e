// The Configuration page against the simulated module, driven as an operator
// drives it: Open, pick a parameter in the tree, read what the page shows, change
// the value, Save, and read it back. The module serves its registers from the
// sample definition file MA11_v1.10.0 that the page loads from the program folder.

#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ProgramFolder.h"
#include "config/ui/ConfigPage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Page controls, restated.
constexpr int kTree = 1001;
constexpr int kRestore = 1004;
constexpr int kValueGroup = 1005;
constexpr int kSave = 1006;
constexpr int kValueEdit = 1011;
constexpr int kDescription = 1012;
constexpr int kRangeText = 1013;
constexpr int kRangeLabel = 1015;
constexpr int kChoiceBox = 1021;

constexpr const char* kNoResponse =
    "ERROR: The device does not respond. \r\nPlease make sure that the device is conncted "
    "correctly and turned on.";

// As in the connection tests: the handshake's time-outs must outlast a 9600 baud
// reply on a busy machine.
constexpr double kTimeScale = 0.3;

std::string SampleFolder() { return ProgramFolder::GetProgramFolder(); }

sim::Options Module() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.nodeName = "Zendra1";
  options.definitionsFile = SampleFolder() + "MA11_v1.10.0.zmcon";
  return options;
}

class ConfigurationPage : public ::testing::Test {
 protected:
  ConfigurationPage() : harness(Module(), kTimeScale) {
    page.Loader().SetProgramFolder(SampleFolder());
    dialog.AddAndSelectPort(harness.Sim().PortPath());
    dialog.show();
  }

  template <typename T = QWidget>
  T* Control(int id) {
    return FindControl<T>(&page, id);
  }
  QTreeWidget* Tree() { return Control<QTreeWidget>(kTree); }
  QLineEdit* Edit() { return Control<QLineEdit>(kValueEdit); }
  QComboBox* Choices() { return Control<QComboBox>(kChoiceBox); }
  QPushButton* Save() { return Control<QPushButton>(kSave); }
  QString Caption() { return Control<QGroupBox>(kValueGroup)->title(); }
  QString Text(int id) { return Control<QLabel>(id)->text(); }

  // Open, then forget what the handshake sent.
  void Connect() {
    FindControl<QPushButton>(&dialog, 1009)->click();
    Settle(&dialog);
    ASSERT_TRUE(dialog.Conn().IsOpen());
    ASSERT_THAT(op.Messages(), IsEmpty());
    harness.Sim().ClearLog();
  }

  QTreeWidgetItem* Item(const QString& group, const QString& name = {}) {
    for (int g = 0; g < Tree()->topLevelItemCount(); ++g) {
      QTreeWidgetItem* root = Tree()->topLevelItem(g);
      if (root->text(0) != group) continue;
      if (name.isEmpty()) return root;
      for (int c = 0; c < root->childCount(); ++c) {
        if (root->child(c)->text(0) == name) return root->child(c);
      }
    }
    ADD_FAILURE() << "no tree item " << group.toStdString() << "/" << name.toStdString();
    return nullptr;
  }

  // The operator opens the group and clicks the item.
  void Click(QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    if (item->parent()) item->parent()->setExpanded(true);
    Tree()->scrollToItem(item);
    const QRect rect = Tree()->visualItemRect(item);
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, rect.center());
    Settle(&dialog);
  }
  void Pick(const QString& group, const QString& name = {}) { Click(Item(group, name)); }

  std::vector<std::string> Lines() { return harness.Sim().ReceivedLines(); }

  // The value edit, the choice box and Save, enabled or not.
  std::vector<bool> ValueControls() {
    return {Edit()->isEnabled(), Choices()->isEnabled(), Save()->isEnabled()};
  }

  SimHarness harness;  // before the dialog: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
  ConfigPage& page = *dialog.Config();
};

QStringList TopLevelTexts(QTreeWidget* tree) {
  QStringList texts;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
  return texts;
}

QStringList ChildTexts(QTreeWidgetItem* item) {
  QStringList texts;
  for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
  return texts;
}

TEST_F(ConfigurationPage, ConnectingFillsTheTreeWithTheGroupsAndParametersOfTheModulesFile) {
  EXPECT_EQ(Tree()->topLevelItemCount(), 0) << "nothing before the connection";
  ASSERT_NO_FATAL_FAILURE(Connect());

  EXPECT_EQ(TopLevelTexts(Tree()),
            QStringList({"Node", "Network", "Serial", "Power", "Security Settings"}));
  EXPECT_EQ(ChildTexts(Item("Node")),
            QStringList({"Node name", "Node type", "EUI address", "Firmware version"}));
  EXPECT_EQ(ChildTexts(Item("Network")),
            QStringList({"PAN ID", "Channel", "Max hops", "Join permit", "Parent address"}));
  EXPECT_EQ(ChildTexts(Item("Security Settings")),
            QStringList({"Encryption", "Network key", "Link key", "Key update"}));

  // Image 1 (resource 139) normally, image 0 (resource 144) while selected.
  for (QTreeWidgetItem* item : {Item("Power"), Item("Power", "TX power")}) {
    const QIcon icon = item->icon(0);
    const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
    const QImage selected = icon.pixmap(16, 16, QIcon::Selected).toImage();
    EXPECT_EQ(normal, QImage(":/icons/tree-item.png").convertToFormat(normal.format()));
    EXPECT_EQ(selected, QImage(":/icons/tree-selected.png").convertToFormat(selected.format()));
  }

  EXPECT_TRUE(Tree()->selectedItems().isEmpty());
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_THAT(Lines(), IsEmpty()) << "loading the tree reads nothing from the module";
}

TEST_F(ConfigurationPage, ATextParameterIsReadSavedAndReadBackFromTheModule) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const int waitsBefore = op.WaitCount();
  Pick("Node", "Node name");

  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
  EXPECT_EQ(Edit()->text(), "Zendra1");
  EXPECT_EQ(ValueControls(), std::vector<bool>({true, false, true}));
  EXPECT_EQ(Choices()->count(), 0);
  EXPECT_EQ(Caption(), "Node name");
  EXPECT_EQ(Text(kDescription), "Name of the node, shown in network scans.\r\n1 to 16 characters.");
  EXPECT_EQ(Text(kRangeLabel), "Range: ");
  EXPECT_EQ(Text(kRangeText), "1 ~ 16");
  EXPECT_GT(op.WaitCount(), waitsBefore) << "the wait cursor was shown for the read";
  EXPECT_EQ(op.WaitDepth(), 0);

  harness.Sim().ClearLog();
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "Kitchen");
  EXPECT_THAT(Lines(), IsEmpty()) << "typing sends nothing";
  EXPECT_FALSE(dialog.Config()->OutcomeLine()->isVisible());
  Save()->click();
  Settle(&dialog);
  // The node name is read back after its save, and the window's device texts show it.
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME=Kitchen\r\n", "AT+NODENAME\r\n"));
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Kitchen");
  EXPECT_EQ(Edit()->text(), "Kitchen") << "the saved value stays on show";
  EXPECT_TRUE(dialog.Config()->OutcomeLine()->isVisible());
  EXPECT_EQ(dialog.Config()->OutcomeLine()->text(),
            "Saved Node name = Kitchen on the local module. The module's node name reads "
            "Kitchen.");
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1023)->text(), "Kitchen") << "the Node Name text";
  EXPECT_FALSE(dialog.Config()->CopyLogPathButton()->isVisible());

  Pick("Node", "Node type");
  EXPECT_EQ(Edit()->text(), "1");
  Pick("Node", "Node name");
  EXPECT_EQ(Edit()->text(), "Kitchen") << "read back from the module";

  // Enter in the value box saves, as Save does; the window stays.
  harness.Sim().ClearLog();
  Edit()->setFocus();
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "Barn");
  QTest::keyClick(Edit(), Qt::Key_Return);
  Settle(&dialog);
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME=Barn\r\n", "AT+NODENAME\r\n"));
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1023)->text(), "Barn");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(ConfigurationPage, AValueSavedAsItWasReadGoesBackAsTheModulesOwnBytes) {
  // A single-byte text that is not UTF-8 (a name set with the Windows tool).
  harness.Sim().SetRegister("AT+NODENAME", "Caf\xE9");
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  EXPECT_EQ(Edit()->text(), QString::fromLatin1("Caf\xE9"));
  harness.Sim().ClearLog();
  Save()->click();
  Settle(&dialog);
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME=Caf\xE9\r\n", "AT+NODENAME\r\n"));
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Caf\xE9");
}

TEST_F(ConfigurationPage, AChoiceParameterShowsTheModulesChoiceAndSavesTheOneChosen) {
  harness.Sim().SetRegister("AT+TXPOWER", "3");
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Power", "TX power");

  EXPECT_THAT(Lines(), ElementsAre("AT+TXPOWER\r\n"));
  QStringList items;
  for (int i = 0; i < Choices()->count(); ++i) {
    items << Choices()->itemText(i);
    EXPECT_EQ(Choices()->itemData(i).toInt(), i) << "item data of choice " << i;
  }
  EXPECT_EQ(items, QStringList({"-8 dBm", "-4 dBm", "0 dBm", "+3 dBm", "+8 dBm"}));
  EXPECT_EQ(Choices()->currentIndex(), 3);
  EXPECT_EQ(Choices()->currentText(), "+3 dBm");
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, true, true}));
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(Caption(), "TX power");
  EXPECT_EQ(Text(kRangeLabel), "");
  EXPECT_EQ(Text(kRangeText), "");

  Choices()->setCurrentIndex(1);
  Save()->click();
  Settle(&dialog);
  EXPECT_EQ(harness.Sim().Register("AT+TXPOWER"), "1");
  Pick("Power", "Sleep period");
  EXPECT_EQ(Choices()->count(), 0) << "a text parameter empties the choice box";
  EXPECT_EQ(Edit()->text(), "100");
  EXPECT_EQ(Text(kRangeText), "100 ~ 60000");
  Pick("Power", "TX power");
  EXPECT_EQ(Choices()->currentText(), "-4 dBm");

  // Without a value list the choice's index is the device value.
  harness.Sim().SetRegister("AT+FLOW", "2");
  Pick("Serial", "Flow control");
  EXPECT_EQ(Choices()->currentText(), "RTS/CTS");
  Choices()->setCurrentIndex(1);
  Save()->click();
  Settle(&dialog);
  EXPECT_EQ(harness.Sim().Register("AT+FLOW"), "1");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(ConfigurationPage, ATypedChoiceIsSavedOnlyWhenItIsOneOfTheChoices) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Power", "TX power");
  ASSERT_EQ(Choices()->currentText(), "-8 dBm");

  // Typed exactly as a choice of the list: that choice is written.
  Choices()->setEditText("+8 dBm");
  Save()->click();
  Settle(&dialog);
  EXPECT_EQ(harness.Sim().Register("AT+TXPOWER"), "4");
  EXPECT_THAT(op.Messages(), IsEmpty());

  // Anything else is not written, not even as the first choice.
  harness.Sim().ClearLog();
  Choices()->setEditText("+20 dBm");
  Save()->click();
  Settle(&dialog);
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: The value is not one of the choices."));
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(harness.Sim().Register("AT+TXPOWER"), "4");
}

TEST_F(ConfigurationPage, AValueItsEntryDoesNotAllowIsRefusedBeforeSendingWithTheRuleItBroke) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  ASSERT_EQ(Text(kRangeText), "1 ~ 16");
  harness.Sim().ClearLog();
  Edit()->setText("A name of seventeen");
  Save()->click();
  Settle(&dialog);
  EXPECT_THAT(Lines(), IsEmpty()) << "nothing reaches the module";
  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: The value is not allowed for this parameter and was not sent."));
  EXPECT_THAT(op.Details(), ElementsAre("Node name takes 1 to 16 characters; the value has 19."));
  EXPECT_FALSE(dialog.Config()->OutcomeLine()->isVisible()) << "no save to report";
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Zendra1");
  // The value stays for the operator to mend, and Save with it.
  EXPECT_EQ(Edit()->text(), "A name of seventeen");
  EXPECT_TRUE(Save()->isEnabled());

  // Mended, it goes.
  op.Clear();
  Edit()->setText("Short name");
  Save()->click();
  Settle(&dialog);
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Short name");
  EXPECT_EQ(dialog.Config()->OutcomeLine()->text(),
            "Saved Node name = Short name on the local module. The module's node name reads "
            "Short name.");
}

TEST_F(ConfigurationPage, AReadOnlyParameterShowsItsValueWithSaveDisabled) {
  harness.Sim().SetRegister("AT+VOLTAGE", "3290");
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Power", "Supply voltage");
  EXPECT_THAT(Lines(), ElementsAre("AT+VOLTAGE\r\n"));
  EXPECT_EQ(Edit()->text(), "3290");
  EXPECT_EQ(ValueControls(), std::vector<bool>({true, false, false}));
  EXPECT_EQ(Text(kDescription), "Supply voltage in millivolts, measured at the last wake-up.");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(ConfigurationPage, AFailedReadShowsTheMessageAndLeavesSaveDisabled) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Power", "TX power");
  ASSERT_EQ(Choices()->count(), 5);

  sim::Faults faults;
  faults.errorCommands = {"AT+CHANNEL", "AT+PERMITJOIN"};
  harness.Sim().SetFaults(faults);

  // Text path: the value edit stays empty and off.
  Pick("Network", "Channel");
  EXPECT_THAT(op.Messages(), ElementsAre(kNoResponse));
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(Caption(), "Channel");
  EXPECT_EQ(Text(kRangeText), "11 ~ 26");

  // Choice path: the box keeps the items it had, disabled.
  Pick("Power", "TX power");
  ASSERT_EQ(Choices()->count(), 5);
  op.Clear();
  Pick("Network", "Join permit");
  EXPECT_THAT(op.Messages(), ElementsAre(kNoResponse));
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_EQ(Choices()->count(), 5);
  EXPECT_EQ(Choices()->itemText(0), "-8 dBm");

  // The next successful selection enables them again.
  Pick("Network", "Max hops");
  EXPECT_EQ(ValueControls(), std::vector<bool>({true, false, true}));
  EXPECT_EQ(Edit()->text(), "1");
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(ConfigurationPage, AGroupShowsItsNameAsTheCaptionWithAnEmptyDescriptionAndReadsNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Network", "Channel");
  ASSERT_EQ(Edit()->text(), "11");
  harness.Sim().ClearLog();

  Pick("Network");
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(Caption(), "Network");
  EXPECT_EQ(Text(kDescription), "");
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(Text(kRangeText), "11 ~ 26") << "the range stays as it was";
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(ConfigurationPage, ClosingThePortEmptiesTheTreeAndTheValueBox) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  ASSERT_TRUE(Save()->isEnabled());

  FindControl<QPushButton>(&dialog, 1009)->click();

  Settle(&dialog);
  ASSERT_FALSE(dialog.Conn().IsOpen());
  EXPECT_EQ(Tree()->topLevelItemCount(), 0);
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(Caption(), "");
  EXPECT_EQ(Text(kDescription), "");
  EXPECT_EQ(Text(kRangeText), "");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(ConfigurationPage, OnlyTheOperatorsPickOfAnItemReadsFromTheModule) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  harness.Sim().ClearLog();

  // A click on the item already selected, and a selection that ends on no item.
  Pick("Node", "Node name");
  Tree()->clearSelection();
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(Edit()->text(), "Zendra1");
  EXPECT_TRUE(Save()->isEnabled());

  // The page's own clearing and filling, as a switch of device does it.
  page.LoadParameterFile(LoadMode::kClear, "");
  page.LoadParameterFile(LoadMode::kLoad, dialog.Conn().DefinitionFileName());
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(Tree()->topLevelItemCount(), 5) << "refilled once, not twice";
  EXPECT_TRUE(Tree()->selectedItems().isEmpty());
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(ConfigurationPage, ARangeTooWideForItsLabelShowsBothEndsCutWithTheWholeRangeAsTooltip) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const QString zeros(32, '0'), effs(32, 'F');
  Pick("Security Settings", "Network key");
  ASSERT_EQ(Edit()->text(), zeros);
  auto* range = Control<QLabel>(kRangeText);
  EXPECT_EQ(range->toolTip(), zeros + " ~ " + effs);
  const QStringList lines = range->text().split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith("0000") && lines[0].endsWith(" ~")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith("FFFF") && lines[1].endsWith("FFFF")) << lines[1].toStdString();
  const QFontMetrics metrics(range->font());
  for (const QString& line : lines)
    EXPECT_LE(metrics.horizontalAdvance(line), range->contentsRect().width()) << line.toStdString();
  EXPECT_LE(2 * metrics.lineSpacing(), range->contentsRect().height() + metrics.leading());

  // A range that fits is shown as it stands, without a tooltip.
  Pick("Network", "Channel");
  EXPECT_EQ(range->text(), "11 ~ 26");
  EXPECT_EQ(range->toolTip(), "");
}

TEST_F(ConfigurationPage, FactoryDefaultResetsTheModuleAndTheModulesRefusalsAreReported) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  Edit()->setText("Kitchen");
  Save()->click();
  Settle(&dialog);
  ASSERT_EQ(harness.Sim().Register("AT+NODENAME"), "Kitchen");
  harness.Sim().ClearLog();

  FindControl<QPushButton>(&page, kRestore)->click();

  Settle(&dialog);
  EXPECT_THAT(Lines(), ElementsAre("AT&f\r\n"));
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Zendra1");
  EXPECT_EQ(Edit()->text(), "Kitchen") << "the page is not read again";
  EXPECT_THAT(op.Messages(), IsEmpty());

  sim::Faults faults;
  faults.errorCommands = {"AT+NODENAME", "AT&F"};
  harness.Sim().SetFaults(faults);
  Save()->click();
  Settle(&dialog);
  FindControl<QPushButton>(&page, kRestore)->click();
  Settle(&dialog);
  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: Could not save the configuration paramater.",
                          "ERROR: Could not restore this device to factory default."));
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Zendra1");
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(ConfigurationPage, TabGoesFromTheTreeToTheValueAndSaveThenToTheManagementButtons) {
  // The focus chain from the filter box on, the page's own controls only.
  auto button = [this](const QString& text) {
    for (auto* b : page.findChildren<QPushButton*>()) {
      if (b->text() == text) return static_cast<QWidget*>(b);
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return static_cast<QWidget*>(nullptr);
  };
  QWidget* filter = page.findChild<QLineEdit*>(QStringLiteral("parameterFilter"));
  ASSERT_NE(filter, nullptr);
  const std::vector<QWidget*> expected = {filter,
                                          Tree(),
                                          Edit(),
                                          Choices(),
                                          Save(),
                                          button("Export"),
                                          button("Import"),
                                          button("Compare..."),
                                          button("Restore to Factory Default")};
  std::vector<QWidget*> chain;
  QWidget* w = filter;
  do {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  } while (w != filter && chain.size() < expected.size());
  EXPECT_EQ(chain, expected);
}

TEST_F(ConfigurationPage, AfterTheLineWasBusyTheFocusIsBackInTheValueBox) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Pick("Node", "Node name");
  ASSERT_TRUE(Edit()->isEnabled());
  Edit()->setFocus(Qt::OtherFocusReason);
  ASSERT_EQ(dialog.focusWidget(), Edit());

  // Another activity holds the line long enough for the page to be disabled. The
  // focus must not go on to the next control in the chain (the port box, where
  // the operator's next keys would land), whether or not the window is active (a
  // message box of the work may be).
  auto held = dialog.Conn().TryLease("network scan");
  ASSERT_TRUE(held.has_value());
  ASSERT_TRUE(WaitUntil([&] { return !page.isEnabled(); }));
  QWidget* parked = dialog.focusWidget();
  EXPECT_NE(parked, Edit());
  EXPECT_FALSE(page.isAncestorOf(parked));
  EXPECT_EQ(qobject_cast<QComboBox*>(parked), nullptr) << "not the port box";

  held.reset();
  ASSERT_TRUE(WaitUntil([&] { return page.isEnabled(); }));
  EXPECT_EQ(dialog.focusWidget(), Edit());

  // The same while another window has the application's focus, as a message box
  // of the work has it.
  Edit()->setFocus(Qt::OtherFocusReason);
  QDialog box(&dialog);
  box.show();
  box.activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &box; }));
  held = dialog.Conn().TryLease("network scan");
  ASSERT_TRUE(WaitUntil([&] { return !page.isEnabled(); }));
  EXPECT_FALSE(page.isAncestorOf(dialog.focusWidget()));
  EXPECT_EQ(qobject_cast<QComboBox*>(dialog.focusWidget()), nullptr) << "not the port box";
  held.reset();
  ASSERT_TRUE(WaitUntil([&] { return page.isEnabled(); }));
  box.hide();
  EXPECT_EQ(dialog.focusWidget(), Edit());

  // Focus the operator moved while the line was busy stays where it was put.
  held = dialog.Conn().TryLease("network scan");
  ASSERT_TRUE(WaitUntil([&] { return !page.isEnabled(); }));
  QWidget* portBox = FindControl<QComboBox>(&dialog, 1010);
  ASSERT_NE(portBox, nullptr);
  portBox->setFocus(Qt::OtherFocusReason);
  held.reset();
  ASSERT_TRUE(WaitUntil([&] { return page.isEnabled(); }));
  EXPECT_NE(dialog.focusWidget(), Edit());
}

TEST_F(ConfigurationPage, WithoutADefinitionFileTheTreeShowsTheReadFailureRow) {
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  page.Loader().SetProgramFolder(empty.path().toStdString());
  op.QueueAnswer(false);  // no update of the manager

  FindControl<QPushButton>(&dialog, 1009)->click();

  Settle(&dialog);
  ASSERT_TRUE(dialog.Conn().IsOpen());
  EXPECT_THAT(op.Questions(),
              ElementsAre("WARNING: Could not recognize the firmware version.\r\nMaybe this "
                          "manager is out of date. Would you like to update this manager?"));
  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: Could not recognize the firmware version.\r\nPlease uninstall "
                          "this manager and intall the latest manager."));
  EXPECT_EQ(TopLevelTexts(Tree()), QStringList({"CONSTRUCT FILE READ FAIL"}));
  EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 0);

  harness.Sim().ClearLog();
  Pick("CONSTRUCT FILE READ FAIL");
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(ValueControls(), std::vector<bool>({false, false, false}));
}

}  // namespace
}  // namespace zendra::test
