// The definition files that ship with the manager (res/definitions, copied next to
// the executables) must load whole: the simulated module serves its registers
// from the same files, and a shifted field would silently change a command.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "config/ParameterDefinitions.h"
#include "config/ProgramFolder.h"

namespace zendra {
namespace {

class SampleDefinitionFile : public ::testing::TestWithParam<const char*> {};

TEST_P(SampleDefinitionFile, LoadsEveryEntryWithAnAtCommandAndContiguousGroups) {
  std::ifstream in(ProgramFolder::GetProgramFolder() + GetParam(), std::ios::binary);
  ASSERT_TRUE(in) << GetParam() << " is not next to the test program";
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();

  ParameterDefinitions defs;
  defs.ParseDefinitionText(text, false);
  defs.BuildNameTable();
  int entries = 0;
  for (char c : text) entries += c == '[';
  EXPECT_EQ(defs.parameterCount, entries);
  EXPECT_EQ(defs.rejectedEntries, 0);

  std::set<int> types;
  for (int i = 0; i < defs.parameterCount; ++i) {
    const ParameterRecord& r = defs.Record(i);
    const std::string command = r.command;
    EXPECT_EQ(command.rfind("AT+", 0), 0u) << r.name << ": " << command;
    EXPECT_EQ(command.find(' '), std::string::npos) << r.name;
    EXPECT_NE(r.description[0], '\0') << r.name;
    // A list of values belongs to a list of choices with as many entries.
    if (r.valueList[0] != '\0') {
      const std::string choices = r.comboList, values = r.valueList;
      EXPECT_EQ(std::count(choices.begin(), choices.end(), ':'),
                std::count(values.begin(), values.end(), ':'))
          << r.name;
    }
    types.insert(r.type);
  }
  EXPECT_EQ(types, (std::set<int>{10, 16, 29, 39}));
  // Each group is one run: as many tree rows as group changes.
  EXPECT_EQ(static_cast<int>(defs.TreeRows().size()), defs.groupCount);
  EXPECT_EQ(defs.TreeRows().back().group, "Security Settings");

  ParameterDefinitions remote;
  remote.ParseDefinitionText(text, true);
  EXPECT_LT(remote.parameterCount, defs.parameterCount);
}

INSTANTIATE_TEST_SUITE_P(Shipped, SampleDefinitionFile,
                         ::testing::Values("MA11_v1.9.5.zmcon", "MA11_v1.10.0.zmcon",
                                           "MA11_v1.11.0.zmcon", "MB11_v3.0.zmcon",
                                           "MC21X_v1.0.0.zmcon"));

}  // namespace
}  // namespace zendra
