// The Configuration page (template 129), the Firmware Update page (template 133)
// and the reload dialog (template 145): controls, captions, positions, initial
// states; the tree's icons; the clone rule; the page's view calls from a worker.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "firmware/ui/FirmwarePage.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

QString CaptionOf(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* box = qobject_cast<QComboBox*>(control)) return box->currentText();
  return {};
}

class Pages : public ::testing::Test {
 protected:
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
  ConfigPage& config = *dialog.Config();
  FirmwarePage& firmware = *dialog.Firmware();
};

struct TemplateRow {
  int id;
  const char* kind;
  const char* caption;
  const char* group;  // the caption of the group box that frames it; nullptr: none
  bool enabled;
};

// The group box a control lies in, as the template groups it.
const char* GroupOf(QWidget* control) {
  static std::string title;
  for (QWidget* w = control->parentWidget(); w; w = w->parentWidget()) {
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
      title = group->title().toStdString();
      // The value box's caption is the selected parameter's; it is known by its ID.
      if (group->property("controlId").toInt() == 1005) title = "(value box)";
      return title.c_str();
    }
  }
  return nullptr;
}

// `a` lies left of `b` on the same row, or above it.
bool LeftOf(QWidget* a, QWidget* b) {
  const QPoint pa = a->mapTo(a->window(), QPoint(0, 0));
  const QPoint pb = b->mapTo(b->window(), QPoint(0, 0));
  return pa.x() + a->width() <= pb.x() + 1;
}
bool Above(QWidget* a, QWidget* b) {
  const QPoint pa = a->mapTo(a->window(), QPoint(0, 0));
  const QPoint pb = b->mapTo(b->window(), QPoint(0, 0));
  return pa.y() + a->height() <= pb.y() + 1;
}

TEST_F(Pages, TheConfigurationPageHasEveryControlOfTemplate129InItsGroups) {
  // The range label's template text "Range :" is gone after the first refresh.
  const TemplateRow rows[] = {
      {1001, "QTreeWidget", "", nullptr, true},
      {1002, "QPushButton", "Export", "Configuration Management", false},
      {1003, "QPushButton", "Import", "Configuration Management", false},
      {1004, "QPushButton", "Restore to Factory Default", "Configuration Management", false},
      {1005, "QGroupBox", "", nullptr, true},
      {1011, "QLineEdit", "", "(value box)", false},
      {1006, "QPushButton", "Save", "(value box)", false},
      {1021, "QComboBox", "", "(value box)", false},
      {1012, "QLabel", "", "(value box)", true},
      {1015, "QLabel", "", "(value box)", true},
      {1013, "QLabel", "", "(value box)", true},
      {1027, "QCheckBox", "Remode Device Setting", "Remote Configuration", false},
      {1026, "QLineEdit", "", "Remote Configuration", false},
      {1042, "QPushButton", "...", "Remote Configuration", false},
      {1028, "QLabel", "", "Remote Configuration", true},
      {1029, "QLabel", "", "Remote Configuration", true},
      {1030, "QLabel", "", "Remote Configuration", true},
  };
  dialog.show();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    QWidget* control = FindControl(&config, row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.kind);
    EXPECT_EQ(CaptionOf(control), row.caption);
    EXPECT_EQ(control->isEnabled(), row.enabled);
    if (row.group) {
      ASSERT_NE(GroupOf(control), nullptr);
      EXPECT_STREQ(GroupOf(control), row.group);
    } else {
      EXPECT_EQ(GroupOf(control), nullptr);
    }
  }
  EXPECT_TRUE(FindControl<QComboBox>(&config, 1021)->isEditable());
  // The template's order: the remote box across the top, the tree left of the
  // value box, Export before Import, the value edit above the choice box with Save
  // beside it, the range under the description.
  auto c = [&](int id) { return FindControl(&config, id); };
  EXPECT_TRUE(Above(c(1027), c(1026)));
  EXPECT_TRUE(LeftOf(c(1026), c(1042)));
  EXPECT_TRUE(LeftOf(c(1042), c(1028)));
  EXPECT_TRUE(Above(c(1028), c(1029)));
  EXPECT_TRUE(Above(c(1029), c(1030)));
  EXPECT_TRUE(Above(c(1030), c(1001)));
  EXPECT_TRUE(LeftOf(c(1001), c(1005)));
  EXPECT_TRUE(Above(c(1001), c(1002)));
  EXPECT_TRUE(LeftOf(c(1002), c(1003)));
  EXPECT_TRUE(Above(c(1002), c(1004)));
  EXPECT_TRUE(Above(c(1011), c(1021)));
  EXPECT_TRUE(LeftOf(c(1021), c(1006)));
  EXPECT_TRUE(Above(c(1012), c(1015)));
  EXPECT_TRUE(LeftOf(c(1015), c(1013)));

  QStringList groups, labels;
  for (auto* group : config.findChildren<QGroupBox*>()) groups << group->title();
  for (auto* label : config.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(groups.contains("Remote Configuration"));
  EXPECT_TRUE(groups.contains("Configuration Management"));
  for (const char* label : {"Address", "Product Name : ", "EUI address :", "F/W Rev. :"}) {
    EXPECT_TRUE(labels.contains(label)) << label;
  }
}

TEST_F(Pages, TreeItemsShowImageOneAndImageZeroWhileSelected) {
  auto* group = config.AddTreeItem(nullptr, "Network");
  auto* item = config.AddTreeItem(group, "Channel");
  EXPECT_EQ(item->parent(), group);
  const QImage normal = item->icon(0).pixmap(16, 16, QIcon::Normal).toImage();
  const QImage selected = item->icon(0).pixmap(16, 16, QIcon::Selected).toImage();
  EXPECT_EQ(normal, QImage(":/icons/tree-item.png").convertToFormat(normal.format()));
  EXPECT_EQ(selected, QImage(":/icons/tree-selected.png").convertToFormat(selected.format()));
  EXPECT_NE(normal, selected);

  config.LoadParameterFile(LoadMode::kClear, "");
  EXPECT_EQ(config.Tree()->topLevelItemCount(), 0);
}

TEST_F(Pages, TheFirmwareUpdatePageHasEveryControlOfTemplate133) {
  const struct {
    int id;
    const char* kind;
    const char* caption;
    bool enabled;
  } rows[] = {
      {1037, "QLabel", "", true},
      {1032, "QLineEdit", "", true},
      {1031, "QPushButton", "Choose file in local PC", false},
      {1039, "QPushButton", "Download from web server", false},
      {1034, "QProgressBar", "", true},
      {1033, "QPushButton", "Update", false},
      {1014, "zendra::DeviceListCtrl", "", true},
      {1035, "QPushButton", "Search", false},
      {1038, "QCheckBox", "Clone local firmware", true},
      {1036, "QPushButton", "Update", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    QWidget* control = FindControl(&firmware, row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.kind);
    EXPECT_EQ(CaptionOf(control), row.caption);
    EXPECT_EQ(control->isEnabled(), row.enabled);
  }
  auto* progress = FindControl<QProgressBar>(&firmware, 1034);
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 100);
  EXPECT_EQ(progress->value(), 0);
  EXPECT_FALSE(FindControl<QCheckBox>(&firmware, 1038)->isChecked());

  QStringList groups;
  for (auto* group : firmware.findChildren<QGroupBox*>()) groups << group->title();
  EXPECT_EQ(groups, QStringList({"Message", "Firmware File", "Local Device Update",
                                 "Remote Device Update"}));
}

// The template's seven columns, and a "Status" column after them that takes what
// is left of the list's width.
TEST_F(Pages, TheDeviceListHasSevenLeftAlignedColumnsWithGridLinesAndNoRows) {
  auto* list = FindControl<QTableWidget>(&firmware, 1014);
  ASSERT_EQ(list->columnCount(), 8);
  EXPECT_EQ(list->horizontalHeaderItem(7)->text(), "Status");
  EXPECT_TRUE(list->horizontalHeader()->stretchLastSection());
  const QStringList headers{"",          "Type",     "IEEE Address", "Version",
                            "ModelType", "NodeName", "Progress"};
  // The bar gives the Status column room on a 1366-pixel screen: 90 of the 152.
  const int widths[] = {22, 45, 140, 63, 85, 85, 90};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(list->horizontalHeaderItem(i)->text(), headers[i]);
    EXPECT_EQ(list->columnWidth(i), widths[i]);
  }
  EXPECT_TRUE(list->horizontalHeader()->defaultAlignment() & Qt::AlignLeft);
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(Pages, CheckingCloneTurnsTheFileChoiceOffAndUncheckingGivesItBackToTheConnectionsRule) {
  auto* clone = FindControl<QCheckBox>(&firmware, 1038);
  auto* choose = FindControl(&firmware, 1031);
  auto* download = FindControl(&firmware, 1039);
  auto* path = FindControl(&firmware, 1032);

  clone->click();
  EXPECT_TRUE(clone->isChecked());
  EXPECT_FALSE(choose->isEnabled());
  EXPECT_FALSE(download->isEnabled());
  EXPECT_FALSE(path->isEnabled());

  // No connection: the buttons stay off with the rest of the five; the edit follows
  // the box alone.
  clone->click();
  EXPECT_FALSE(clone->isChecked());
  EXPECT_FALSE(choose->isEnabled());
  EXPECT_FALSE(download->isEnabled());
  EXPECT_TRUE(path->isEnabled());

  firmware.SetConnected(true);
  EXPECT_TRUE(choose->isEnabled());
  EXPECT_TRUE(download->isEnabled());
  firmware.SetCloneMode();
  EXPECT_TRUE(clone->isChecked());
  EXPECT_FALSE(choose->isEnabled());
  EXPECT_FALSE(download->isEnabled());
  EXPECT_FALSE(path->isEnabled());
  EXPECT_TRUE(FindControl(&firmware, 1033)->isEnabled());
  EXPECT_TRUE(FindControl(&firmware, 1036)->isEnabled());
}

TEST_F(Pages, ViewCallsFromAWorkerReachTheControlsWithoutBlockingIt) {
  auto* clone = FindControl<QCheckBox>(&firmware, 1038);
  clone->click();
  std::thread worker([&] {
    firmware.ApplyModelRule(true);  // ShowDeviceInfo after a local update
    firmware.SetStatus("Completed successfully.");
    firmware.SetProgress(42);
    firmware.EnableButtons(true);
    firmware.ShowDeviceTexts({"MB11", "000D6F0000000001", "Hall", "v3.0"});
  });
  // The worker returns at once: nothing waits for the GUI thread.
  worker.join();
  ASSERT_TRUE(WaitUntil(
      [&] { return FindControl<QLabel>(&firmware, 1037)->text() == "Completed successfully."; }));
  ASSERT_TRUE(WaitUntil([&] { return FindControl<QLabel>(&dialog, 1023)->text() == "Hall"; }));
  EXPECT_EQ(FindControl<QProgressBar>(&firmware, 1034)->value(), 42);
  for (int id : {1031, 1039, 1033, 1035, 1036})
    EXPECT_TRUE(FindControl(&firmware, id)->isEnabled()) << id;
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1022)->text(), "MB11");
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1025)->text(), "v3.0");
  EXPECT_FALSE(clone->isChecked());
  EXPECT_FALSE(clone->isEnabled());
}

TEST(FirmwareUploadDialogShell, HasTheControlsOfTemplate145AndCloseEndsItAsOk) {
  FakeOperator op;
  Connection connection(op);
  auto line = connection.TryLease("reload");
  FirmwareUploadDialog upload(connection, *line, op);
  EXPECT_EQ(upload.windowTitle(), "Firmware Upload");
  const struct {
    int id;
    const char* kind;
    const char* caption;
  } rows[] = {
      {1049, "QLabel", ""},           {1047, "QPushButton", "Choose File"},
      {1048, "QLineEdit", ""},        {1034, "QProgressBar", ""},
      {1050, "QPushButton", "Close"}, {1046, "QPushButton", "Upload"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    QWidget* control = FindControl(&upload, row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.kind);
    EXPECT_EQ(CaptionOf(control), row.caption);
    EXPECT_TRUE(control->isEnabled());
  }
  QStringList groups;
  for (auto* group : upload.findChildren<QGroupBox*>()) groups << group->title();
  EXPECT_EQ(groups, QStringList({"Message", "Firmware File"}));
  EXPECT_EQ(FindControl<QProgressBar>(&upload, 1034)->value(), 0);

  upload.show();
  FindControl<QPushButton>(&upload, 1050)->click();
  EXPECT_FALSE(upload.isVisible());
  EXPECT_EQ(upload.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace zendra::test
