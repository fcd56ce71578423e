#pragma once
// A local simulated module with one remote node, both serving their registers from
// test definition files, and the Configuration page's core objects over them: the
// fixture of the remote configuration and the export/import tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/ConfigCore.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "support/TestDefinitions.h"

namespace zendra::test {

// The remote node's EUI address as it reports it.
inline constexpr const char* kRemoteEui = "000D6F0000D4E5F6";

class RemoteSession : public ::testing::Test {
 protected:
  using Page = ConfigCore;

  // Starts the module (MA11 v1.10.0, remote MB11 v3.0), connects and loads the
  // local definition file.
  void Start(sim::Options options = {}, sim::RemoteFaults remoteFaults = {}) {
    folder.Write("MA11_v1.10.0.zmcon", kTestDefinitions);
    folder.Write("MB11_v3.0.zmcon", kTestDefinitions);
    const std::string simFile = folder.Write("module.zmcon.sim", kTestDefinitions);
    options.definitionsFile = simFile;
    options.registerValues = {{"AT+NOTE", "local note"}};
    sim::RemoteNode node;
    node.euiAddress = kRemoteEui;
    node.productName = "MB11";
    node.version = "v3.0";
    node.nodeName = "Far";
    node.definitionsFile = simFile;
    node.registerValues = {{"AT+NOTE", "remote note"}};
    node.faults = std::move(remoteFaults);
    options.remotes.push_back(node);
    harness = std::make_unique<SimHarness>(options);
    ASSERT_TRUE(harness->Connect());
    page = std::make_unique<Page>(harness->Conn());
    page->loader.SetProgramFolder(folder.Path());
    page->loader.LoadParameterFile(LoadMode::kLoad, harness->Conn().DefinitionFileName());
    ASSERT_EQ(page->definitions.parameterCount, 7);
    harness->Sim().ClearLog();
    harness->Op().Clear();
  }

  // Ticks the box with `address` typed and loads what the result names.
  RemoteDeviceResult Tick(const std::string& address) {
    RemoteDeviceResult r = page->remote.ToggleRemoteDevice(harness->Line(), true, address);
    RemoteConfiguration::LoadDefinitions(page->loader, r);
    return r;
  }
  RemoteDeviceResult Clear() {
    RemoteDeviceResult r = page->remote.ToggleRemoteDevice(harness->Line(), false, "");
    RemoteConfiguration::LoadDefinitions(page->loader, r);
    return r;
  }

  std::vector<std::string> Lines() { return harness->Sim().ReceivedLines(); }
  std::vector<std::string> Messages() { return harness->Op().Messages(); }
  std::vector<std::string> Groups() {
    std::vector<std::string> groups;
    for (const auto& row : page->definitions.TreeRows()) groups.emplace_back(row.group);
    return groups;
  }

  TempFolder folder;
  std::unique_ptr<SimHarness> harness;
  std::unique_ptr<Page> page;
};

}  // namespace zendra::test
