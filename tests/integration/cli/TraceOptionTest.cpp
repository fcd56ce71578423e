// zendra-cli --trace FILE: the traffic log of a command's serial line in a file,
// with every command; a file that cannot be made is a usage error before anything
// is sent.

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// "    12.345 TX text": the time in ms, the direction, the text.
struct TraceLine {
  double ms = 0;
  std::string direction, text;
};

std::vector<TraceLine> Parse(const std::vector<std::string>& lines) {
  static const std::regex form(R"(^ *([0-9]+\.[0-9]{3}) (TX|RX|--) (.*)$)");
  std::vector<TraceLine> parsed;
  for (const auto& line : lines) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, form)) << line;
    if (!match.empty()) parsed.push_back({std::stod(match[1]), match[2], match[3]});
  }
  return parsed;
}

TEST(TraceOption, WritesEveryLineOfTheCommandsConversationWithRisingTimes) {
  ModuleProcess module({});
  ASSERT_FALSE(module.Port().empty());
  TempFolder folder;
  const std::string path = folder.Path() + "info.trace";
  const auto r = Cli(module, {"--trace", path, "info"});
  ASSERT_EQ(r.status, 0) << r.err;

  auto lines = FileLines(path);
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("# zendra-cli ", 0), 0u) << lines[0];
  lines.erase(lines.begin());
  const auto trace = Parse(lines);
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front().direction, "--");
  EXPECT_EQ(trace.front().text, "open " + module.Port() + ", 9600 baud");
  EXPECT_EQ(trace.back().text, "close");
  for (std::size_t i = 1; i < trace.size(); ++i) EXPECT_GE(trace[i].ms, trace[i - 1].ms) << i;

  std::vector<std::string> sent, received;
  for (const auto& line : trace) {
    if (line.direction == "TX") sent.push_back(line.text);
    if (line.direction == "RX") received.push_back(line.text);
  }
  EXPECT_THAT(sent, Contains("AT+PRODUCTNAME<CR><LF>"));
  EXPECT_EQ(sent.back(), "AT+VERSION<CR><LF>");
  EXPECT_THAT(received, Contains("v1.10.0<CR><LF>"));
  EXPECT_THAT(received, Contains("OK<CR><LF>"));
}

TEST(TraceOption, WorksWithACommandThatOnlyOpensThePortAndRefusesAFileItCannotMake) {
  ModuleProcess module({});
  TempFolder folder;
  const std::string path = folder.Path() + "at.trace";
  auto r = Cli(module, {"--trace", path, "at", "AT+NODENAME"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = FileLines(path);
  std::ostringstream all;
  for (const auto& line : lines) all << line << '\n';
  EXPECT_THAT(all.str(), HasSubstr(" TX AT+NODENAME<CR><LF>\n"));
  EXPECT_THAT(all.str(), HasSubstr(" RX Zendra1<CR><LF>\n"));

  r = Cli(module, {"--trace", folder.Path() + "no-such-folder/at.trace", "at", "AT+NODENAME"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("--trace"));
  EXPECT_THAT(r.err, HasSubstr("no-such-folder/at.trace"));
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace zendra::test
