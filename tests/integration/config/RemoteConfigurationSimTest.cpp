// The Remote Configuration box against the simulated module and its remote node:
// the identification, what the page shows afterwards, and that every later
// transaction goes to the EUI address the device reported.

#include <gmock/gmock.h>

#include <chrono>

#include "RemoteSession.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Outcome = RemoteDeviceResult::Outcome;

constexpr const char* kTypedAddress = "000d6f0000d4e5f6";  // the module ignores the case

class RemoteConfigurationTest : public RemoteSession {};

TEST_F(RemoteConfigurationTest,
       ATickIdentifiesTheRemoteDeviceAndLoadsItsDefinitionWithoutSecurity) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_THAT(Groups(), ElementsAre("Node", "Radio", "Network", "Security Settings"));

  const RemoteDeviceResult r = Tick(kTypedAddress);
  EXPECT_THAT(Lines(), ElementsAre("at+rc=000d6f0000d4e5f6,at+productname\r\n",
                                   "at+rc=000d6f0000d4e5f6,AT+LONGADDR\r\n",
                                   "at+rc=000d6f0000d4e5f6,AT+VERSION\r\n"));
  EXPECT_EQ(r.outcome, Outcome::kRemote);
  EXPECT_TRUE(r.remoteMode);
  EXPECT_TRUE(harness->Conn().RemoteMode());
  EXPECT_TRUE(r.boxChecked);
  EXPECT_FALSE(r.addressEditEnabled);
  EXPECT_EQ(r.restoreCaption, "Reboot");
  EXPECT_EQ(r.productName, "MB11");
  EXPECT_EQ(r.euiAddress, kRemoteEui);
  EXPECT_EQ(r.version, "v3.0");
  EXPECT_EQ(r.definitionFile, "MB11_v3.0.zmcon");
  EXPECT_EQ(page->state.remoteAddressText, kTypedAddress);
  EXPECT_EQ(page->state.remoteProductName, "MB11");
  EXPECT_EQ(page->state.remoteEuiAddress, kRemoteEui);
  EXPECT_EQ(page->state.remoteVersion, "v3.0");
  EXPECT_EQ(page->definitions.definitionFileName, "MB11_v3.0.zmcon");
  EXPECT_THAT(Groups(), ElementsAre("Node", "Radio", "Network"));
  EXPECT_THAT(Messages(), IsEmpty());

  // Reads, saves and the restart go to the address the device reported.
  harness->Sim().ClearLog();
  EXPECT_EQ(page->editor.SelectParameter(harness->Line(), "Node name").valueText, "Far");
  EXPECT_EQ(page->editor.SaveParameter(harness->Line(), {std::nullopt, "", "Near"}),
            SaveResult::kSaved);
  EXPECT_TRUE(page->editor.RestoreOrReboot(harness->Line()));
  EXPECT_THAT(Lines(), ElementsAre("AT+RC=000D6F0000D4E5F6,AT+NODENAME\r\n",
                                   "AT+RC=000D6F0000D4E5F6,AT+NODENAME=Near\r\n",
                                   "AT+RC=000D6F0000D4E5F6,ATZ\r\n"));
  EXPECT_EQ(harness->Sim().RemoteRegister(kRemoteEui, "AT+NODENAME"), "Near");
  EXPECT_EQ(harness->Sim().Register("AT+NODENAME"), "Zendra1");
}

TEST_F(RemoteConfigurationTest, ClearingTheBoxReturnsToTheLocalDeviceWithoutSendingAnything) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(Tick(kRemoteEui).outcome, Outcome::kRemote);
  page->state.rangeLabel = "Range: ";
  page->state.rangeText = "1 ~ 16";
  harness->Sim().ClearLog();

  const RemoteDeviceResult r = Clear();
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(r.outcome, Outcome::kLocal);
  EXPECT_FALSE(r.remoteMode);
  EXPECT_FALSE(harness->Conn().RemoteMode());
  EXPECT_FALSE(r.boxChecked);
  EXPECT_TRUE(r.addressEditEnabled);
  EXPECT_EQ(r.restoreCaption, "Restore to Factory Default");
  EXPECT_EQ(r.productName, "");
  EXPECT_EQ(r.euiAddress, "");
  EXPECT_EQ(r.version, "");
  EXPECT_TRUE(r.rangeCleared);
  EXPECT_EQ(page->state.rangeLabel, "");
  EXPECT_EQ(page->state.rangeText, "");
  EXPECT_EQ(r.definitionFile, "MA11_v1.10.0.zmcon");
  EXPECT_THAT(Groups(), ElementsAre("Node", "Radio", "Network", "Security Settings"));

  EXPECT_EQ(page->editor.SelectParameter(harness->Line(), "Node name").valueText, "Zendra1");
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
}

TEST_F(RemoteConfigurationTest, AnEmptyOrUnsendableAddressIsRefusedBeforeAnythingIsSent) {
  ASSERT_NO_FATAL_FAILURE(Start());
  RemoteDeviceResult r = Tick("");
  EXPECT_EQ(r.outcome, Outcome::kInvalidAddress);
  EXPECT_THAT(Messages(), ElementsAre("ERROR: Invalid remote address"));

  // A comma would split AT+RC= at the wrong place; a line end would run the rest
  // ("AT&F": factory default of the local module) as a command of its own.
  for (const char* address :
       {"000D6F0000D4E5F6,AT&F", "000D6F0000D4E5F6\r\nAT&F", "000D6F0000D4E5F6\n", "000D\t6F"}) {
    harness->Op().Clear();
    r = Tick(address);
    EXPECT_EQ(r.outcome, Outcome::kInvalidAddress) << address;
    EXPECT_THAT(Messages(), ElementsAre(RemoteConfiguration::kUnsafeAddressMessage));
    EXPECT_FALSE(r.boxChecked);
    EXPECT_TRUE(r.addressEditEnabled);
    EXPECT_EQ(r.restoreCaption, "Restore to Factory Default");
    EXPECT_EQ(r.definitionFile, std::nullopt) << "the tree stays as it is";
  }
  EXPECT_FALSE(harness->Conn().RemoteMode());
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(page->definitions.definitionFileName, "MA11_v1.10.0.zmcon");
}

TEST_F(RemoteConfigurationTest, ARemoteThatDoesNotAnswerItsProductNameLeavesThePageLocal) {
  sim::RemoteFaults silent;
  silent.reach = sim::RemoteFaults::Reach::Silent;
  ASSERT_NO_FATAL_FAILURE(Start({}, silent));

  // An address no node has: the local module answers ERROR.
  RemoteDeviceResult r = Tick("000D6F00DEADBEEF");
  EXPECT_EQ(r.outcome, Outcome::kNoResponse);
  // A silent node: the 10 s query runs out.
  const auto before = std::chrono::steady_clock::now();
  const RemoteDeviceResult silentResult = Tick(kRemoteEui);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(900))
      << "10 s of protocol time at the scale of 0.1";
  EXPECT_EQ(silentResult.outcome, Outcome::kNoResponse);

  EXPECT_THAT(Messages(), ElementsAre("ERROR: The remote device does not respond.",
                                      "ERROR: The remote device does not respond."));
  EXPECT_THAT(Lines(), ElementsAre("at+rc=000D6F00DEADBEEF,at+productname\r\n",
                                   "at+rc=000D6F0000D4E5F6,at+productname\r\n"))
      << "nothing after the product name";
  for (const auto& result : {r, silentResult}) {
    EXPECT_FALSE(result.remoteMode);
    EXPECT_FALSE(result.boxChecked);
    EXPECT_TRUE(result.addressEditEnabled);
    EXPECT_EQ(result.definitionFile, std::nullopt);
  }
  EXPECT_FALSE(harness->Conn().RemoteMode());
  EXPECT_EQ(page->state.remoteProductName, "");
  EXPECT_EQ(page->definitions.definitionFileName, "MA11_v1.10.0.zmcon");
}

TEST_F(RemoteConfigurationTest, AFailedEuiQueryKeepsThePageLocalAndSaysTheRemoteDidNotAnswer) {
  sim::RemoteFaults faults;
  faults.errorCommands = {"AT+LONGADDR"};
  ASSERT_NO_FATAL_FAILURE(Start({}, faults));
  RemoteDeviceResult r = Tick(kRemoteEui);
  EXPECT_EQ(r.outcome, Outcome::kNoResponse);
  EXPECT_FALSE(r.remoteMode);
  EXPECT_FALSE(r.boxChecked);
  EXPECT_TRUE(r.addressEditEnabled);
  EXPECT_EQ(r.definitionFile, std::nullopt);
  EXPECT_FALSE(harness->Conn().RemoteMode());
  EXPECT_EQ(page->state.remoteEuiAddress, "");
  EXPECT_THAT(Messages(), ElementsAre("ERROR: The remote device does not respond."));
  EXPECT_THAT(harness->Op().Details(),
              ElementsAre("The remote device " + std::string(kRemoteEui) +
                          " did not answer AT+LONGADDR with its EUI address within 10 s."));
  // Nothing goes to an address the device never gave: the next read is the local module's.
  harness->Sim().ClearLog();
  EXPECT_EQ(page->editor.SelectParameter(harness->Line(), "Node name").reply, "Zendra1");
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
}

// The operator picked the device from a scan: a message about it names it by its
// node name too, a failed identification and a refused read alike.
TEST_F(RemoteConfigurationTest, AFailedIdentificationNamesTheAddressAndTheScannedNodeName) {
  sim::RemoteFaults faults;
  faults.errorCommands = {"AT+PRODUCTNAME"};
  ASSERT_NO_FATAL_FAILURE(Start({}, faults));
  const RemoteDeviceResult r =
      page->remote.ToggleRemoteDevice(harness->Line(), true, kRemoteEui, "Pump 7");
  EXPECT_EQ(r.outcome, Outcome::kNoResponse);
  EXPECT_THAT(Messages(), ElementsAre("ERROR: The remote device does not respond."));
  EXPECT_THAT(harness->Op().Details(),
              ElementsAre("The remote device " + std::string(kRemoteEui) +
                          " (Pump 7) did not answer AT+PRODUCTNAME within 10 s."));
  EXPECT_EQ(page->state.remoteNodeName, "") << "a device the page never reached keeps no name";
}

TEST_F(RemoteConfigurationTest, AReadTheRemoteRefusesNamesItByAddressAndScannedNodeName) {
  sim::RemoteFaults faults;
  faults.errorCommands = {"AT+NODENAME"};
  ASSERT_NO_FATAL_FAILURE(Start({}, faults));
  const RemoteDeviceResult r =
      page->remote.ToggleRemoteDevice(harness->Line(), true, kRemoteEui, "Pump 7");
  ASSERT_EQ(r.outcome, Outcome::kRemote);
  EXPECT_EQ(page->state.remoteNodeName, "Pump 7");
  harness->Op().Clear();
  (void)page->editor.SelectParameter(harness->Line(), "Node name");
  EXPECT_THAT(harness->Op().Details(),
              ElementsAre("The remote device " + std::string(kRemoteEui) +
                          " (Pump 7) answered ERROR: it did not take the command AT+NODENAME."));
  Clear();
  EXPECT_EQ(page->state.remoteNodeName, "") << "back to the local module";
}

TEST_F(RemoteConfigurationTest, AFailedVersionQueryLeavesErrorInItsPlaceAndThePageGoesRemote) {
  sim::RemoteFaults faults;
  faults.errorCommands = {"AT+VERSION"};
  ASSERT_NO_FATAL_FAILURE(Start({}, faults));
  // The definition file of that name is missing: the loader asks about an update
  // (No) and falls back to the best file of the folder.
  const RemoteDeviceResult r = Tick(kRemoteEui);
  EXPECT_EQ(r.outcome, Outcome::kRemote);
  EXPECT_EQ(r.euiAddress, kRemoteEui);
  EXPECT_EQ(r.version, "ERROR");
  EXPECT_EQ(r.definitionFile, "MB11_ERROR.zmcon");
  EXPECT_EQ(page->definitions.definitionFileName, "MB11_ERROR.zmcon");
  EXPECT_THAT(harness->Op().Questions(), ElementsAre(DefinitionLoader::kUpdateQuestion));
}

TEST_F(RemoteConfigurationTest, AReportedEuiAddressThatWouldBreakTheCommandLineKeepsThePageLocal) {
  ASSERT_NO_FATAL_FAILURE(Start());
  harness->Sim().SetRemoteRegister(kRemoteEui, "AT+LONGADDR", "000D6F0000D4E5F6,AT&F");
  const RemoteDeviceResult r = Tick(kRemoteEui);
  EXPECT_EQ(r.outcome, Outcome::kNoResponse);
  EXPECT_FALSE(harness->Conn().RemoteMode());
  EXPECT_EQ(page->state.remoteEuiAddress, "");
  EXPECT_THAT(Messages(), ElementsAre("ERROR: The remote device does not respond."));
}

TEST_F(RemoteConfigurationTest, ASleepyLocalModuleIsWokenBeforeTheIdentification) {
  sim::Options options;
  options.nodeType = 4;
  ASSERT_NO_FATAL_FAILURE(Start(options));
  // Asleep, it would lose the first query and never relay it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!harness->Sim().Asleep() && std::chrono::steady_clock::now() < deadline)
    harness->Sim().WaitForLine("never sent", std::chrono::milliseconds(20));
  ASSERT_TRUE(harness->Sim().Asleep());

  const RemoteDeviceResult r = Tick(kRemoteEui);
  EXPECT_EQ(r.outcome, Outcome::kRemote);
  EXPECT_EQ(r.productName, "MB11");
  EXPECT_THAT(harness->Sim().MissedLines(), ElementsAre("\n"));
  EXPECT_THAT(Lines(), ElementsAre("at+rc=000D6F0000D4E5F6,at+productname\r\n",
                                   "at+rc=000D6F0000D4E5F6,AT+LONGADDR\r\n",
                                   "at+rc=000D6F0000D4E5F6,AT+VERSION\r\n"));
}

}  // namespace
}  // namespace zendra::test
