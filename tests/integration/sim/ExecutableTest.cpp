// zendra-modsim, the program: options, the port path on stdout, the log file,
// and an orderly end on SIGTERM.

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "HostPort.h"

namespace zendra::test::modsim {
namespace {

std::filesystem::path ProgramBesideThisTest() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zendra-modsim";
}

TEST(SimExecutable, ServesTheModuleDescribedByItsOptionsUntilSigterm) {
  auto program = ProgramBesideThisTest();
  if (!std::filesystem::exists(program))
    GTEST_SKIP() << "zendra-modsim is not built next to the tests";
  auto log = std::filesystem::temp_directory_path() /
             ("modsim_cli_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execl(program.c_str(), "zendra-modsim", "--builtin-definitions", "--product", "MB21",
          "--version", "v4.1", "--baud", "auto", "--set", "AT+CHANNEL=21", "--remote",
          "000D6F0000777777,MC11,v2.2,Shed,3", "--time-scale", "0.1", "--log", log.c_str(),
          "--reply-form", "short", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* stream = fdopen(out[0], "r");
  char line[256] = {};
  ASSERT_NE(fgets(line, sizeof line, stream), nullptr);
  std::string path(line);
  ASSERT_FALSE(path.empty());
  path.pop_back();  // "\n"
  EXPECT_THAT(path, ::testing::StartsWith("/dev/pts/"));

  {
    HostPort host(path, 38400);
    ASSERT_TRUE(host.IsOpen());
    host.Write("ATE0\r\nAT+PRODUCTNAME\r\nAT+CHANNEL\r\nAT+RC=000D6F0000777777,AT+NODENAME\r\n");
    EXPECT_TRUE(host.ReadUntilContains("Shed\r\nOK\r\n", Ms(3000)));
    // The short reply form, the remote node's answers alike.
    EXPECT_EQ(host.Take(),
              "ATE0\r\r\nOK\r\n\r\nMB21\r\nOK\r\n\r\n21\r\nOK\r\n\r\nShed\r\nOK\r\n");
  }

  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  fclose(stream);

  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string entry; std::getline(in, entry);)
    lines.push_back(nlohmann::json::parse(entry).value("line", ""));
  EXPECT_THAT(lines,
              ::testing::ElementsAre("ATE0\r\n", "AT+PRODUCTNAME\r\n", "AT+CHANNEL\r\n",
                                     "AT+RC=000D6F0000777777,AT+NODENAME\r\n"));
  std::filesystem::remove(log);
}

}  // namespace
}  // namespace zendra::test::modsim
