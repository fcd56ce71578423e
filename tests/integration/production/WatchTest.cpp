// The line that watches for modules being plugged in: simulated modules appear one
// after another (a new pseudo-terminal each, behind the name of a hub's port), each
// is provisioned as it comes with one record, a finished port waits for its module
// to go, and a module plugged into the same port again is a new run.

#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ProductionFixture.h"
#include "production/ProvisionLine.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

class WatchTest : public ProductionTest {
 protected:
  // The hub's port `name` now leads to `module` (plugged in), or nowhere.
  std::string Plug(const std::string& name, sim::ModuleSimulator& module) {
    const std::string port = folder.Path() + name;
    std::filesystem::create_symlink(module.PortPath(), port);
    return port;
  }
  void Unplug(const std::string& port) { std::filesystem::remove(port); }
  // The line watching the hub's two ports until `finish`.
  std::jthread Watch(ProvisionLine& line, std::stop_token finish) {
    return std::jthread([this, &line, finish] {
      line.Watch(
          [this] {
            return ExistingPorts({folder.Path() + "hub1", folder.Path() + "hub2"});
          },
          finish);
    });
  }
};

TEST_F(WatchTest, ModulesPluggedInOneAfterAnotherAreProvisionedAsTheyCome) {
  const ProvisionPlan plan = Plan(Request());
  RecordingEvents events;
  ProvisionLine line(plan, events, &records);
  std::stop_source finish;
  std::jthread watch = Watch(line, finish.get_token());
  const auto finishedCount = [](std::size_t n) {
    return [n](RecordingEvents& e) { return e.finished.size() >= n; };
  };

  const std::string first = Plug("hub1", AddModule(1));
  ASSERT_TRUE(events.WaitFor(finishedCount(1)));
  const std::string second = Plug("hub2", AddModule(2));
  ASSERT_TRUE(events.WaitFor(finishedCount(2)));
  // Done — unplug: the first module goes, and its port is free again.
  Unplug(first);
  ASSERT_TRUE(events.WaitFor([&](RecordingEvents& e) { return !e.unplugged.empty(); }));
  EXPECT_THAT(events.unplugged, ElementsAre(first));
  // A new module in the same port is a new run; the second, still plugged in, is
  // not run again.
  Plug("hub1", AddModule(3));
  ASSERT_TRUE(events.WaitFor(finishedCount(3)));
  finish.request_stop();
  watch.join();

  EXPECT_THAT(events.started, ElementsAre(first, second, first));
  const auto results = events.Finished();
  ASSERT_THAT(results, SizeIs(3));
  std::vector<std::string> euis;
  for (const auto& r : results) {
    EXPECT_TRUE(r.Passed()) << r.port << ": " << r.message;
    euis.push_back(r.euiAddress);
  }
  EXPECT_THAT(euis, ElementsAre("000D6F0000000001", "000D6F0000000002", "000D6F0000000003"));
  const auto written = Records();
  ASSERT_THAT(written, SizeIs(3));
  EXPECT_EQ(written[2].port, first);
  EXPECT_EQ(written[2].euiAddress, "000D6F0000000003");
  for (const auto& module : modules) EXPECT_THAT(module->ReceivedImages(), SizeIs(1));
}

TEST_F(WatchTest, FinishingWaitsForTheRunsUnderWayAndStartsNoOther) {
  const ProvisionPlan plan = Plan(Request());
  RecordingEvents events;
  ProvisionLine line(plan, events, &records);
  std::stop_source finish;
  std::jthread watch = Watch(line, finish.get_token());
  const std::string first = Plug("hub1", AddModule(1));
  ASSERT_TRUE(events.WaitFor([&](RecordingEvents& e) { return e.updateBytes[first] > 0; }));
  // Ctrl+C while the image goes out: the run goes on to its end.
  finish.request_stop();
  Plug("hub2", AddModule(2));
  watch.join();
  const auto results = events.Finished();
  ASSERT_THAT(results, SizeIs(1));
  EXPECT_TRUE(results[0].Passed()) << results[0].message;
  EXPECT_THAT(modules[1]->ReceivedLines(), ::testing::IsEmpty()) << "plugged in after the end";
  EXPECT_THAT(Records(), SizeIs(1));
}

}  // namespace
}  // namespace zendra::test
