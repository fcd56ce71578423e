// Remote update and cloning against the simulated module and its remote nodes, at
// the compressed time scale: the remote button's checks, the looks of the page's
// timer, what reaches each remote, what the page is told, and who holds the line.

#include <gmock/gmock.h>


#include "../../unit/firmware/RecordingView.h"
#include "base/Clock.h"
#include "firmware/FirmwareUpdate.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Optional;

constexpr auto kDeadline = std::chrono::seconds(60);
using Bytes = std::vector<std::uint8_t>;

const std::string kR1 = "000D6F0000000A01";
const std::string kR2 = "000D6F0000000A02";
const std::string kR3 = "000D6F0000000A03";

// An image for `model` that a node reads back as version v1.11.0.
struct Image : FirmwareImageFile {
  explicit Image(std::size_t size, const std::string& model = "MA11", Form form = Form::kEbl)
      : FirmwareImageFile(model, "v1.11.0", size, form) {}
};

sim::RemoteNode Node(const std::string& eui, const std::string& product = "MA11",
                     sim::RemoteFaults faults = {}) {
  sim::RemoteNode node;
  node.euiAddress = eui;
  node.productName = product;
  node.version = "v1.9.5";
  node.faults = std::move(faults);
  return node;
}

sim::Options Network(std::vector<sim::RemoteNode> remotes, int nodeType = 1) {
  sim::Options o;
  o.baudRate = 115200;
  o.nodeType = nodeType;
  o.remotes = std::move(remotes);
  o.relayBlockMs = 10;
  o.cloneMs = 3000;
  return o;
}

std::vector<RemoteRow> Rows(const std::vector<std::string>& addresses,
                            const std::vector<bool>& ticked = {}) {
  std::vector<RemoteRow> rows;
  for (std::size_t i = 0; i < addresses.size(); ++i)
    rows.push_back({addresses[i], ticked.empty() || ticked[i]});
  return rows;
}

std::vector<std::string> RemoteImageOwners(sim::ModuleSimulator& module) {
  std::vector<std::string> owners;
  for (const auto& image : module.ReceivedRemoteImages()) owners.push_back(image.euiAddress);
  return owners;
}

bool SentBootload(sim::ModuleSimulator& module) {
  for (const auto& line : module.ReceivedLines())
    if (line.find("AT+BOOTLOAD") != std::string::npos) return true;
  return false;
}

// Waits (with a deadline) until no worker of the update runs.
bool WaitIdle(FirmwareUpdate& update) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (update.Busy()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The remote button refuses before anything is started; each case its own message.
struct RefusalCase {
  const char* what;
  int lineBaud;
  int localNodeType;
  std::vector<std::string> list;
  std::vector<bool> ticked;
  bool clone;
  const char* imageModel;  // nullptr: no file chosen
  std::string message;
  FirmwareImageFile::Form form = FirmwareImageFile::Form::kEbl;
};

class RemoteRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RemoteRefusalTest, RemoteUpdateRefusesWithItsMessageAndStartsNothing) {
  const RefusalCase& c = GetParam();
  sim::Options o = Network({Node(kR1), Node(kR2, "MB11"),
                            Node(kR3, "MA11", {.reach = sim::RemoteFaults::Reach::Silent})},
                           c.localNodeType);
  o.baudRate = 0;  // follows the host
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(c.lineBaud));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  std::optional<Image> image;
  if (c.imageModel) {
    image.emplace(300, c.imageModel, c.form);
    update.SetChosenPath(image->Path());
  }
  update.SetCloneChecked(c.clone);

  EXPECT_EQ(update.OnRemoteUpdate(Rows(c.list, c.ticked)), std::nullopt);
  EXPECT_THAT(h.Op().Messages(), ElementsAre(c.message));
  EXPECT_EQ(update.OnUpdateTimer(), std::nullopt) << "a refused press leaves no row to start";
  EXPECT_FALSE(update.Busy());
  EXPECT_FALSE(h.Conn().Gate().Leased());
  EXPECT_FALSE(SentBootload(h.Sim()));
  // Nothing of an address that would break the command line went out.
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains(HasSubstr("NODENAME="))));
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains(HasSubstr("RC=,"))));
  EXPECT_EQ(h.Sim().RemoteRegister(kR1, "AT+NODENAME"), "Remote");
  EXPECT_THAT(view.buttons, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RemoteRefusalTest,
    ::testing::Values(
        RefusalCase{"line not at 115200", 9600, 1, {kR1}, {}, false, "MA11",
                    "ERROR: Please change the baudrate to 115200."},
        RefusalCase{"sleepy local module", 115200, 4, {kR1}, {}, false, "MA11",
                    "ERROR: Local device is a sleepy end device."},
        RefusalCase{"empty list", 115200, 1, {}, {}, false, "MA11",
                    "ERROR: No device is found in this network."},
        RefusalCase{"no row ticked", 115200, 1, {kR1, kR2}, {false, false}, false, "MA11",
                    "ERROR: No remote device has been selected."},
        RefusalCase{"no file", 115200, 1, {kR1}, {}, false, nullptr,
                    "ERROR: The firmware file is invalid."},
        RefusalCase{"image for another model", 115200, 1, {kR1, kR2}, {}, false, "MA11",
                    "ERROR: The firmware file is incorrect for the remote device(" + kR2 + ")."},
        RefusalCase{"image without a model code", 115200, 1, {kR1}, {}, false, "XX99",
                    "ERROR: The firmware file is incorrect for the remote device(" + kR1 + ")."},
        RefusalCase{"silent remote", 115200, 1, {kR1, kR3}, {}, false, "MA11",
                    "ERROR: The firmware file is incorrect for the remote device(" + kR3 + ")."},
        RefusalCase{"clone to another model", 115200, 1, {kR2}, {}, true, nullptr,
                    "ERROR: Could not clone the firmware. The remote device(" + kR2 +
                        ") has different model type."},
        RefusalCase{"text that names the model", 115200, 1, {kR1}, {}, false, "MA11",
                    "ERROR: The file is text, not a firmware image.",
                    FirmwareImageFile::Form::kText},
        RefusalCase{"text for another model", 115200, 1, {kR2}, {}, false, "MA11",
                    "ERROR: The firmware file is incorrect for the remote device(" + kR2 + ").",
                    FirmwareImageFile::Form::kText},
        RefusalCase{"address with a second command", 115200, 1, {kR1 + ",AT+NODENAME=x"}, {},
                    false, "MA11",
                    "ERROR: Invalid remote address: it holds a comma or a control character "
                    "(such as a line end), which would break the command line."},
        RefusalCase{"clone to an address with a line end", 115200, 1, {kR1 + "\r\nAT+NODENAME=x"},
                    {}, true, nullptr,
                    "ERROR: Invalid remote address: it holds a comma or a control character "
                    "(such as a line end), which would break the command line."},
        RefusalCase{"empty address", 115200, 1, {""}, {}, false, "MA11",
                    "ERROR: Invalid remote address"}),
    [](const auto& param) {
      std::string name = param.param.what;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST(RemoteUpdateTest, SecondDeviceNotAnsweringIsCountedAndTheThirdStartsInTheSameLook) {
  SimHarness h(Network(
      {Node(kR1), Node(kR2, "MA11", {.bootload = sim::RemoteFaults::Bootload::Silent}), Node(kR3)}));
  ASSERT_TRUE(h.Connect(115200));
  const Image image(1000);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());

  ASSERT_THAT(update.OnRemoteUpdate(Rows({kR1, kR2, kR3})), Optional(100));
  EXPECT_TRUE(update.RemoteUpdateRunning());
  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  EXPECT_TRUE(update.Busy());
  // A look while the worker runs starts nothing.
  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  ASSERT_TRUE(view.WaitForFinishedCount(1, kDeadline));
  ASSERT_TRUE(WaitIdle(update));
  // Between two devices the buttons stay off and nobody else gets the line.
  EXPECT_FALSE(h.Conn().TryLease("scan").has_value());

  // The second does not answer its bootload command; the third starts at once,
  // and as the last chosen row it ends the looks.
  EXPECT_EQ(update.OnUpdateTimer(), std::nullopt);
  EXPECT_TRUE(update.Busy());
  ASSERT_TRUE(view.WaitForFinishedCount(2, kDeadline));
  ASSERT_TRUE(WaitIdle(update));

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kCompleted),
                          Optional(FirmwareOutcome::kNotStarted),
                          Optional(FirmwareOutcome::kCompleted)));
  EXPECT_THAT(RemoteImageOwners(h.Sim()), ElementsAre(kR1, kR3));
  EXPECT_EQ(h.Sim().ReceivedRemoteImages()[1].image, image.Padded());
  EXPECT_EQ(h.Sim().RemoteVersion(kR1), "v1.11.0");
  EXPECT_EQ(h.Sim().RemoteVersion(kR2), "v1.9.5");
  EXPECT_EQ(h.Sim().RemoteVersion(kR3), "v1.11.0");
  EXPECT_THAT(h.Sim().ReceivedLines(), Contains("AT+BOOTLOAD=1," + kR2 + "\r\n"));

  // The status texts in order, each device's preparation first.
  std::vector<std::string> milestones;
  for (const auto& s : view.statuses)
    if (s.find("% Completed!") == std::string::npos && s != "Finishing..." &&
        s != "Update complete.")
      milestones.push_back(s);
  EXPECT_THAT(milestones,
              ElementsAre("Preparing for firmware update...", "Preparing for firmware update......",
                          "Remote firmware update is completed successfully. Please wait.",
                          "Preparing for firmware update...",
                          "Could not update remote device firmware.",
                          "Preparing for firmware update...", "Preparing for firmware update......",
                          "Remote firmware update failed for 1 of 3 devices."));
  // The closing box names the device that failed, with the node name it reported.
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: The remote device does not respond.",
                          "ERROR: Remote firmware update failed for 1 of 3 devices:\r\n" + kR2 +
                              " (Remote): the remote device did not respond."));
  // Off for each device; back after the failed start and after the last device.
  EXPECT_THAT(view.buttons, ElementsAre(false, false, true, false, true));
  EXPECT_EQ(view.rowProgress.back(), std::make_pair(2, 100));
  EXPECT_THAT(view.rowProgress, Contains(std::make_pair(0, 100)));
  EXPECT_THAT(view.rowProgress, Not(Contains(::testing::Pair(1, ::testing::_))));
  // The sequence is over: the line is free again.
  EXPECT_FALSE(update.RemoteUpdateRunning());
  EXPECT_TRUE(h.Conn().TryLease("scan").has_value());
  EXPECT_EQ(h.Op().WaitDepth(), 0);
}

TEST(RemoteUpdateTest, AFailedFirstStartIsReportedWhenTheLastDeviceCompletes) {
  SimHarness h(Network(
      {Node(kR1, "MA11", {.bootload = sim::RemoteFaults::Bootload::Error}), Node(kR2)}));
  ASSERT_TRUE(h.Connect(115200));
  const Image image(500);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());

  const auto first = update.OnRemoteUpdate(Rows({kR1, kR2}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  // The last device completed, but not every one: no "completed successfully" at the end.
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: The remote device does not respond.",
                          "ERROR: Remote firmware update failed for 1 of 2 devices:\r\n" + kR1 +
                              " (Remote): the remote device did not respond."));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 1 of 2 devices.");
  EXPECT_THAT(view.statuses, Not(Contains(HasSubstr("All remote"))));
  EXPECT_THAT(view.finished, ElementsAre(FirmwareOutcome::kCompleted));
  EXPECT_THAT(RemoteImageOwners(h.Sim()), ElementsAre(kR2));
  EXPECT_EQ(view.buttons.back(), true);
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(RemoteUpdateTest, AFailedTransferGivesTheButtonsBackAndEmptiesTheRowsBar) {
  SimHarness h(Network({Node(kR1, "MA11", {.refuseEveryBlock = true}), Node(kR2)}));
  ASSERT_TRUE(h.Connect(115200));
  const Image image(800);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  const auto first = update.OnRemoteUpdate(Rows({kR1, kR2}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kTransmitError),
                          Optional(FirmwareOutcome::kCompleted)));
  EXPECT_THAT(view.statuses, Contains("Transmit error."));
  EXPECT_THAT(view.rowProgress, Contains(std::make_pair(0, 0)));
  EXPECT_THAT(view.buttons, ElementsAre(false, true, false, true));
  EXPECT_THAT(RemoteImageOwners(h.Sim()), ElementsAre(kR2));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 1 of 2 devices.");
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: Remote firmware update failed for 1 of 2 devices:\r\n" + kR1 +
                          " (Remote): the image transfer failed."));
}

TEST(RemoteUpdateTest, AnImageTheRemoteRefusesIsThatDevicesFailureAndTheNextStillStarts) {
  SimHarness h(Network({Node(kR1), Node(kR2)}));
  ASSERT_TRUE(h.Connect(115200));
  // Binary, with the model code, but not an ebl image: it passes the checks and
  // reaches each remote, which checks it once it has come.
  const Image image(700, "MA11", FirmwareImageFile::Form::kNoEblHeader);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  const auto first = update.OnRemoteUpdate(Rows({kR1, kR2}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kImageRefused),
                          Optional(FirmwareOutcome::kImageRefused)));
  EXPECT_THAT(view.statuses, Contains("The bootloader refused the image."));
  EXPECT_THAT(view.statuses, Not(Contains(HasSubstr("completed successfully"))));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 2 of 2 devices.");
  EXPECT_THAT(view.rowProgress, Contains(std::make_pair(0, 0)));
  EXPECT_THAT(view.rowProgress, Contains(std::make_pair(1, 0)));
  EXPECT_TRUE(h.Sim().ReceivedRemoteImages().empty());
  ASSERT_EQ(h.Sim().RefusedImages().size(), 2u);
  EXPECT_EQ(h.Sim().RefusedImages()[1].euiAddress, kR2);
  EXPECT_EQ(h.Sim().RefusedImages()[1].image, image.Padded());
  // A remote keeps its firmware: no reload is asked for; the closing box names both.
  EXPECT_EQ(h.Sim().RemoteVersion(kR1), "v1.9.5");
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: Remote firmware update failed for 2 of 2 devices:\r\n" + kR1 +
                          " (Remote): its bootloader refused the image.\r\n" + kR2 +
                          " (Remote): its bootloader refused the image."));
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(RemoteUpdateTest, AFailedCloneAmongSeveralIsNamedByItsRowAndNoSuccessTextCloses) {
  SimHarness h(Network({Node(kR1), Node(kR2, "MA11", {.clone = sim::RemoteFaults::Clone::Error}),
                        Node(kR3)}));
  ASSERT_TRUE(h.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetCloneChecked(true);
  // Rows as a scan filled them, with their node names: nobody is asked for one.
  std::vector<RemoteRow> rows = Rows({kR1, kR2, kR3});
  rows[1].nodeName = "Pump house";
  rows[0].nodeName = "Gate";
  rows[2].nodeName = "Hall";
  const auto first = update.OnRemoteUpdate(rows);
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kCompleted),
                          Optional(FirmwareOutcome::kCloneError),
                          Optional(FirmwareOutcome::kCompleted)));
  EXPECT_THAT(view.statuses, Not(Contains("All firmware updates are completed successfully.")));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 1 of 3 devices.");
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: Remote firmware update failed for 1 of 3 devices:\r\n" + kR2 +
                          " (Pump house): the local module reported an error while cloning."));
  EXPECT_EQ(view.buttons.back(), true);
  for (const auto& line : h.Sim().ReceivedLines())
    EXPECT_THAT(line, Not(HasSubstr("nodename")));
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(RemoteUpdateTest, ASingleCloneEndsWithItsOwnTextAndAFullBar) {
  SimHarness h(Network({Node(kR1)}));
  ASSERT_TRUE(h.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetCloneChecked(true);
  const auto first = update.OnRemoteUpdate(Rows({kR1}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  EXPECT_THAT(update.Sequence().Outcomes(), ElementsAre(Optional(FirmwareOutcome::kCompleted)));
  EXPECT_EQ(view.statuses.back(), "The remote firmware update is completed successfully.");
  EXPECT_EQ(view.rowProgress.back(), std::make_pair(0, 100));
  EXPECT_THAT(view.statuses, Contains("Cloning."));
  EXPECT_THAT(view.statuses, Contains("Cloning.."));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
  EXPECT_EQ(h.Sim().RemoteVersion(kR1), "v1.10.0") << "the remote runs the local firmware";
  // A clone sends no image and no line end before its command.
  EXPECT_THAT(h.Sim().ReceivedLines(), Contains("AT+BOOTLOAD=2," + kR1 + "\r\n"));
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains("\n")));
  EXPECT_THAT(h.Op().Messages(), IsEmpty());
}

TEST(RemoteUpdateTest, SeveralClonesWaitForEachOtherAndEndWithTheTextForAll) {
  SimHarness h(Network({Node(kR1), Node(kR2), Node(kR3)}));
  ASSERT_TRUE(h.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetCloneChecked(true);
  const auto first = update.OnRemoteUpdate(Rows({kR1, kR2, kR3}, {true, false, true}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kCompleted), std::nullopt,
                          Optional(FirmwareOutcome::kCompleted)));
  EXPECT_THAT(view.statuses,
              Contains("The remote firmware update is completed successfully. Please wait."));
  EXPECT_EQ(view.statuses.back(), "All firmware updates are completed successfully.");
  EXPECT_THAT(view.buttons, ElementsAre(false, false, true));
  EXPECT_EQ(h.Sim().RemoteVersion(kR2), "v1.9.5");
  EXPECT_EQ(h.Sim().RemoteVersion(kR3), "v1.10.0");
}

TEST(RemoteUpdateTest, ACloneThatReportsErrorFails) {
  SimHarness h(Network({Node(kR1, "MA11", {.clone = sim::RemoteFaults::Clone::Error})}));
  ASSERT_TRUE(h.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetCloneChecked(true);
  const auto first = update.OnRemoteUpdate(Rows({kR1}));
  ASSERT_TRUE(first.has_value());
  update.RunRemoteUpdate(*first);
  EXPECT_THAT(update.Sequence().Outcomes(), ElementsAre(Optional(FirmwareOutcome::kCloneError)));
  EXPECT_THAT(view.statuses, Contains("Could not update remote device firmware."));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 1 of 1 device.");
  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: Remote firmware update failed for 1 of 1 device:\r\n" + kR1 +
                          " (Remote): the local module reported an error while cloning."));
  EXPECT_EQ(view.rowProgress.back(), std::make_pair(0, 0));
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
}

TEST(RemoteUpdateTest, ACloneThatNeverEndsFailsAfter180Passes) {
  // The checks at the usual compression, whose query timeouts leave room for a
  // loaded machine; the watch thirty times faster than real time, so that 180
  // passes of a second take 6 s. The module's side keeps its own scale: once the
  // clone has begun it stays silent.
  SimHarness h(Network({Node(kR1, "MA11", {.clone = sim::RemoteFaults::Clone::NeverEnds})}));
  ASSERT_TRUE(h.Connect(115200));
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetCloneChecked(true);
  const auto first = update.OnRemoteUpdate(Rows({kR1}));
  ASSERT_TRUE(first.has_value());
  Clock::SetScale(1.0 / 30);
  const auto began = std::chrono::steady_clock::now();
  update.RunRemoteUpdate(*first);
  EXPECT_GE(std::chrono::steady_clock::now() - began, Clock::Scaled(180 * 1000));

  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kCloneTimedOut)));
  std::vector<int> passes;
  for (const auto& [row, value] : view.rowProgress) passes.push_back(value);
  ASSERT_EQ(passes.size(), 181u);  // 0 ... 179, then 0 for the failure
  EXPECT_EQ(passes[179], 179);
  EXPECT_EQ(passes.back(), 0);
  EXPECT_THAT(view.statuses, Contains("Cloning." + std::string(179, '.')));
  EXPECT_EQ(view.statuses.back(), "Remote firmware update failed for 1 of 1 device.");
  EXPECT_THAT(view.buttons, ElementsAre(false, true));
}

TEST(RemoteUpdateTest, FlippingTheCloneBoxChangesTheKindForRowsNotStartedYet) {
  SimHarness h(Network({Node(kR1), Node(kR2), Node(kR3)}));
  ASSERT_TRUE(h.Connect(115200));
  const Image image(400);
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  ASSERT_TRUE(update.OnRemoteUpdate(Rows({kR1, kR2, kR3})).has_value());

  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  // While the image goes to the first, the box is checked: a clone must wait for
  // the transfer, which owns the line.
  update.SetCloneChecked(true);
  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  ASSERT_TRUE(WaitIdle(update));
  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  ASSERT_TRUE(WaitIdle(update));
  EXPECT_EQ(update.OnUpdateTimer(), std::nullopt);
  ASSERT_TRUE(WaitIdle(update));

  std::vector<std::string> bootloads;
  for (const auto& line : h.Sim().ReceivedLines())
    if (line.rfind("AT+BOOTLOAD=", 0) == 0) bootloads.push_back(line);
  EXPECT_THAT(bootloads, ElementsAre("AT+BOOTLOAD=1," + kR1 + "\r\n", "AT+BOOTLOAD=2," + kR2 + "\r\n",
                                     "AT+BOOTLOAD=2," + kR3 + "\r\n"));
  EXPECT_THAT(RemoteImageOwners(h.Sim()), ElementsAre(kR1));
  EXPECT_EQ(h.Sim().RemoteVersion(kR1), "v1.11.0");
  EXPECT_EQ(h.Sim().RemoteVersion(kR3), "v1.10.0");
  EXPECT_EQ(view.statuses.back(), "All firmware updates are completed successfully.");
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(RemoteUpdateTest, ARowOfAnotherKindIsCheckedAgainBeforeItsStart) {
  // Cloned to at first, then the box is cleared: the image is for MA11, the second
  // remote is an MB11 whose product matched nothing the press checked it against.
  sim::Options o = Network({Node(kR1, "MB11"), Node(kR2, "MB11")});
  o.productName = "MB11";
  SimHarness h(o);
  ASSERT_TRUE(h.Connect(115200));
  const Image image(300, "MA11");
  RecordingView view;
  FirmwareUpdate update(h.Conn(), view, h.Op());
  update.SetChosenPath(image.Path());
  update.SetCloneChecked(true);
  ASSERT_TRUE(update.OnRemoteUpdate(Rows({kR1, kR2})).has_value());
  EXPECT_THAT(update.OnUpdateTimer(), Optional(5000));
  ASSERT_TRUE(WaitIdle(update));
  update.SetCloneChecked(false);
  EXPECT_EQ(update.OnUpdateTimer(), std::nullopt);
  ASSERT_TRUE(WaitIdle(update));

  EXPECT_THAT(h.Op().Messages(),
              ElementsAre("ERROR: The firmware file is incorrect for the remote device(" + kR2 +
                          ").",
                          "ERROR: Remote firmware update failed for 1 of 2 devices:\r\n" + kR2 +
                              " (Remote): its model does not fit the firmware to be sent."));
  EXPECT_THAT(update.Sequence().Outcomes(),
              ElementsAre(Optional(FirmwareOutcome::kCompleted), Optional(FirmwareOutcome::kRefused)));
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains("AT+BOOTLOAD=1," + kR2 + "\r\n")));
  EXPECT_TRUE(h.Sim().ReceivedRemoteImages().empty());
  EXPECT_FALSE(h.Conn().Gate().Leased());
}

TEST(RemoteUpdateTest, ClosingMidTransferCancelsTheRelayAndEndsTheSequence) {
  SimHarness h(Network({Node(kR1), Node(kR2)}));
  ASSERT_TRUE(h.Connect(115200));
  const Image image(48 * 1024);
  RecordingView view;
  auto update = std::make_unique<FirmwareUpdate>(h.Conn(), view, h.Op());
  update->SetChosenPath(image.Path());
  ASSERT_TRUE(update->OnRemoteUpdate(Rows({kR1, kR2})).has_value());
  ASSERT_THAT(update->OnUpdateTimer(), Optional(5000));
  ASSERT_TRUE(view.WaitForRowProgress(0, 5, kDeadline));

  const auto asked = std::chrono::steady_clock::now();
  update.reset();  // the page goes away: stop and join
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
  const std::size_t reported = view.StatusCount();
  EXPECT_FALSE(h.Conn().Gate().Leased());

  // CAN CAN CAN ended the relay; the module says so and is itself again.
  auto& ring = h.Link().Receive();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (text.find("remote upload aborted\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    ring.WaitForBytes(deadline);
    text += ring.TakeText();
  }
  EXPECT_NE(text.find("remote upload aborted"), std::string::npos);
  EXPECT_TRUE(h.Sim().ReceivedRemoteImages().empty());
  EXPECT_THAT(h.Sim().ReceivedLines(), Not(Contains("AT+BOOTLOAD=1," + kR2 + "\r\n")));
  EXPECT_TRUE(view.finished.empty());
  EXPECT_EQ(view.StatusCount(), reported);
  EXPECT_EQ(h.Link().QueryAtCommand("AT+VERSION\r\n", 1), "v1.10.0");
}

}  // namespace
}  // namespace zendra::test
