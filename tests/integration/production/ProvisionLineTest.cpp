// The production line against several simulated modules at once: every port on its
// own worker, one port's failure leaving the others alone, a record per module
// written as its port finishes, a rerun that leaves modules already at the image's
// version unflashed, and the refusals that leave a module as it was.

#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ProductionFixture.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const ProvisionResult* ResultFor(const std::vector<ProvisionResult>& results,
                                 const std::string& port) {
  for (const auto& result : results)
    if (result.port == port) return &result;
  return nullptr;
}

const ProvisionRecord* RecordFor(const std::vector<ProvisionRecord>& records,
                                 const std::string& eui) {
  for (const auto& record : records)
    if (record.euiAddress == eui) return &record;
  return nullptr;
}

// Lines that set a value.
std::vector<std::string> Writes(const sim::ModuleSimulator& module) {
  std::vector<std::string> writes;
  for (const auto& line : module.ReceivedLines())
    if (line.find('=') != std::string::npos) writes.push_back(line);
  return writes;
}

TEST_F(ProductionTest, FourPortsRunTogetherAndOnePulledMidTransferLeavesTheOthersToPass) {
  for (int n = 1; n <= 4; ++n)
    AddModule(n, n == 3 ? sim::Faults{.vanishAfterBlock = 12} : sim::Faults{});
  const ProvisionPlan plan = Plan(Request());
  RecordingEvents events;
  ProvisionLine line(plan, events, &records);
  for (const auto& module : modules) ASSERT_TRUE(line.Start(module->PortPath()));
  EXPECT_FALSE(line.Start(modules[0]->PortPath())) << "one run per port at a time";
  line.WaitAll();

  const auto results = line.Results();
  ASSERT_THAT(results, SizeIs(4));
  for (int i : {0, 1, 3}) {
    const ProvisionResult* r = ResultFor(results, modules[i]->PortPath());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->outcome, ProvisionOutcome::kPassed) << r->message;
    EXPECT_TRUE(r->updated);
    EXPECT_EQ(r->firmwareBefore, "v1.10.0");
    EXPECT_EQ(r->firmwareAfter, "v1.11.0");
    EXPECT_EQ(r->verified, true);
    EXPECT_THAT(modules[i]->ReceivedImages(), ElementsAre(image.Padded()));
    EXPECT_EQ(modules[i]->Register("AT+CHANNEL"), "20");
    EXPECT_EQ(modules[i]->Register("AT+PANID"), "1A2B");
    EXPECT_THAT(
        events.steps[modules[i]->PortPath()],
        ElementsAre(ProvisionStep::kConnect, ProvisionStep::kUpdate, ProvisionStep::kConfigure,
                    ProvisionStep::kVerify, ProvisionStep::kIdentify, ProvisionStep::kDone));
  }
  const ProvisionResult* pulled = ResultFor(results, modules[2]->PortPath());
  ASSERT_NE(pulled, nullptr);
  EXPECT_EQ(pulled->outcome, ProvisionOutcome::kFailed);
  EXPECT_EQ(pulled->failedStep, ProvisionStep::kUpdate);
  EXPECT_THAT(pulled->message, HasSubstr("lost"));
  EXPECT_THAT(pulled->message, HasSubstr("of 5,120 bytes sent"));
  EXPECT_EQ(pulled->firmwareAfter, "") << "a broken update leaves the version unknown";

  // One record each, written as each port finished; the pulled one says where.
  const auto written = Records();
  ASSERT_THAT(written, SizeIs(4));
  for (int i : {0, 1, 3}) {
    const ProvisionRecord* record =
        RecordFor(written, ResultFor(results, modules[i]->PortPath())->euiAddress);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->outcome, "passed");
    EXPECT_EQ(record->verify, "passed");
    EXPECT_EQ(record->firmwareAfter, "v1.11.0");
    EXPECT_EQ(record->imageSha256, plan.image->sha256);
    EXPECT_EQ(record->configSha256, plan.config->sha256);
    EXPECT_EQ(record->port, modules[i]->PortPath());
    EXPECT_FALSE(record->station.empty());
  }
  const ProvisionRecord* failed = RecordFor(written, "000D6F0000000003");
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->outcome, "failed");
  EXPECT_EQ(failed->failedStep, "update");
  EXPECT_EQ(failed->firmwareBefore, "v1.10.0");
  EXPECT_EQ(failed->message, pulled->message);
  EXPECT_EQ(failed->verify, "");
}

TEST_F(ProductionTest, ARerunLeavesTheModulesAtTheImagesVersionUnflashed) {
  AddModule(1);
  AddModule(2, {}, "v1.11.0");
  // A --set of a parameter the file sets too: the module ends with the --set's value.
  ProvisionRequest request = Request();
  request.sets = {"Node name=Override"};
  const ProvisionPlan plan = Plan(request);
  RecordingEvents first;
  const auto results = RunAll(plan, &first);
  for (const auto& r : results) EXPECT_TRUE(r.Passed()) << r.port << ": " << r.message;
  EXPECT_TRUE(ResultFor(results, modules[0]->PortPath())->updated);
  EXPECT_FALSE(ResultFor(results, modules[1]->PortPath())->updated);
  EXPECT_THAT(first.steps[modules[1]->PortPath()],
              ElementsAre(ProvisionStep::kConnect, ProvisionStep::kConfigure,
                          ProvisionStep::kVerify, ProvisionStep::kIdentify, ProvisionStep::kDone));
  EXPECT_THAT(modules[1]->ReceivedImages(), IsEmpty());
  for (auto& module : modules) {
    EXPECT_EQ(module->Register("AT+NODENAME"), "Override");
    module->ClearLog();
  }

  for (const auto& r : RunAll(plan)) {
    EXPECT_TRUE(r.Passed()) << r.port << ": " << r.message;
    EXPECT_FALSE(r.updated);
    EXPECT_EQ(r.firmwareBefore, "v1.11.0");
  }
  for (const auto& module : modules) {
    EXPECT_THAT(module->ReceivedImages(), IsEmpty());
    EXPECT_THAT(module->ReceivedLines(), ::testing::Not(::testing::Contains("AT+BOOTLOAD\n")));
  }
  EXPECT_THAT(Records(), SizeIs(4));
}

TEST_F(ProductionTest, EachPortEndsOnItsOwnAndAModuleOfAnotherModelIsNeverFlashed) {
  sim::ModuleSimulator& other = AddModule(1, {}, "v3.0", "MB11");
  sim::ModuleSimulator& silent = AddModule(2, sim::Faults{.silent = true});
  sim::Faults refusing;
  refusing.errorCommands = {"AT+CHANNEL"};
  sim::ModuleSimulator& refuses = AddModule(3, refusing);
  sim::ModuleSimulator& good = AddModule(4);
  const auto results = RunAll(Plan(Request()));

  const ProvisionResult* skipped = ResultFor(results, other.PortPath());
  EXPECT_EQ(skipped->outcome, ProvisionOutcome::kSkipped);
  EXPECT_EQ(skipped->message, "The image is built for MA11; the module is MB11. Not flashed.");
  EXPECT_EQ(skipped->firmwareAfter, "v3.0");
  EXPECT_THAT(other.ReceivedLines(), ::testing::Not(::testing::Contains("AT+BOOTLOAD\n")));
  EXPECT_THAT(Writes(other), IsEmpty());

  const ProvisionResult* noAnswer = ResultFor(results, silent.PortPath());
  EXPECT_EQ(noAnswer->outcome, ProvisionOutcome::kFailed);
  EXPECT_EQ(noAnswer->failedStep, ProvisionStep::kConnect);
  EXPECT_THAT(noAnswer->message, HasSubstr("does not respond"));

  const ProvisionResult* refused = ResultFor(results, refuses.PortPath());
  EXPECT_EQ(refused->failedStep, ProvisionStep::kConfigure);
  EXPECT_EQ(refused->message, "the module refused 1 of 3 commands of the file: Radio/Channel");

  EXPECT_TRUE(ResultFor(results, good.PortPath())->Passed());
  const auto written = Records();
  ASSERT_THAT(written, SizeIs(4));
  EXPECT_EQ(RecordFor(written, "000D6F0000000001")->outcome, "skipped");
  EXPECT_EQ(RecordFor(written, "")->failedStep, "connect") << "the silent one has no address";
  EXPECT_EQ(RecordFor(written, "000D6F0000000003")->failedStep, "configure");
}

TEST_F(ProductionTest, AFileOfAnotherVersionIsRefusedBeforeAnythingIsWrittenUnlessYes) {
  sim::ModuleSimulator& module = AddModule(1);  // runs v1.10.0; the file is v1.11.0's
  ProvisionRequest request = Request(false, true);
  request.sets = {"Radio/Power=High"};
  {
    const ProvisionResult r = RunAll(Plan(request)).at(0);
    EXPECT_EQ(r.failedStep, ProvisionStep::kConfigure);
    EXPECT_THAT(r.message, HasSubstr("the configuration file is for MA11_v1.11.0.zmcon, the module "
                                     "will run MA11_v1.10.0.zmcon"));
    EXPECT_THAT(Writes(module), IsEmpty());
  }
  request.yes = true;
  const ProvisionResult r = RunAll(Plan(request)).at(0);
  EXPECT_TRUE(r.Passed()) << r.message;
  EXPECT_EQ(module.Register("AT+TXPOWER"), "2") << "the choice's device value";
  EXPECT_THAT(Writes(module), ElementsAre("AT+NODENAME=Line\r\n", "AT+CHANNEL=20\r\n",
                                          "AT+PANID=1A2B\r\n", "AT+TXPOWER=2\r\n"));
}

TEST_F(ProductionTest, ASetNamingNoParameterRefusesTheModuleBeforeItIsFlashed) {
  sim::ModuleSimulator& module = AddModule(1);
  ProvisionRequest request = Request();
  request.sets = {"Radio/Channel=15", "Radio/Colour=red"};
  const ProvisionResult r = RunAll(Plan(request)).at(0);
  EXPECT_EQ(r.failedStep, ProvisionStep::kConfigure);
  EXPECT_EQ(r.message, "--set Radio/Colour: unknown parameter: Radio/Colour");
  EXPECT_THAT(module.ReceivedImages(), IsEmpty());
  EXPECT_THAT(Writes(module), IsEmpty());
  EXPECT_EQ(r.firmwareAfter, "v1.10.0");
}

TEST_F(ProductionTest, AnImageTheBootloaderRefusesFailsTheUpdateAndSaysTheModuleNeedsAReload) {
  sim::ModuleSimulator& module = AddModule(1);
  const FirmwareImageFile headless("MA11", "v1.11.0", 20 * 128,
                                   FirmwareImageFile::Form::kNoEblHeader);
  ProvisionRequest request = Request(false, true);
  request.image = headless.Path();
  const ProvisionResult r = RunAll(Plan(request)).at(0);
  EXPECT_EQ(r.outcome, ProvisionOutcome::kFailed);
  EXPECT_EQ(r.failedStep, ProvisionStep::kUpdate);
  EXPECT_THAT(r.message, HasSubstr("reload")) << r.message;
  EXPECT_EQ(r.firmwareAfter, "") << "the module's firmware is not known any more";
  EXPECT_THAT(module.ReceivedImages(), IsEmpty());
}

TEST_F(ProductionTest, CancelStopsTheImageGoingOutAsTheCancelButtonDoes) {
  sim::ModuleSimulator& module = AddModule(1);
  const ProvisionPlan plan = Plan(Request());
  RecordingEvents events;
  ProvisionLine line(plan, events, &records);
  line.Start(module.PortPath());
  ASSERT_TRUE(events.WaitFor(
      [&](RecordingEvents& e) { return e.updateBytes[module.PortPath()] >= 10 * 128; }));
  line.CancelAll();
  line.WaitAll();
  const ProvisionResult r = line.Results().at(0);
  EXPECT_EQ(r.outcome, ProvisionOutcome::kCancelled);
  EXPECT_EQ(r.failedStep, ProvisionStep::kUpdate);
  EXPECT_THAT(module.ReceivedImages(), IsEmpty());
  // CAN CAN CAN: the bootloader has its menu back, waiting for what comes next.
  EXPECT_TRUE(module.InBootloader());
  const auto written = Records();
  ASSERT_THAT(written, SizeIs(1));
  EXPECT_EQ(written[0].outcome, "cancelled");
  EXPECT_EQ(written[0].failedStep, "update");
}

}  // namespace
}  // namespace zendra::test
