#pragma once
// Running zendra-cli as a script does, against a zendra-modsim process: the helpers
// of the command line tests.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TempFolder.h"

extern char** environ;

namespace zendra::test {

// The programs lie next to this test program.
inline std::string Program(const char* name) {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end, collecting stdout and stderr (through files, so that
// neither pipe can fill up while the other is read).
inline Result RunProgram(const std::vector<std::string>& args) {
  TempFolder folder;
  const std::string outPath = folder.Path() + "out", errPath = folder.Path() + "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  Result result;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream out(outPath), err(errPath);
  result.out.assign(std::istreambuf_iterator<char>(out), {});
  result.err.assign(std::istreambuf_iterator<char>(err), {});
  return result;
}

// A zendra-modsim process for the length of a test; with `count` > 1 it serves
// that many modules (--count), one port each. Its own pauses run at `timeScale`.
class ModuleProcess {
 public:
  explicit ModuleProcess(std::vector<std::string> options, int count = 1,
                         const char* timeScale = "0.1") {
    if (count > 1) {
      options.push_back("--count");
      options.push_back(std::to_string(count));
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args{Program("zendra-modsim"), "--time-scale", timeScale};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    // The first lines on its stdout are the ports, module 1 first.
    for (int i = 0; i < count; ++i) {
      std::string port;
      char c;
      while (read(pipeFds[0], &c, 1) == 1 && c != '\n') port.push_back(c);
      ports_.push_back(port);
    }
    port_ = ports_.front();
    close(pipeFds[0]);
  }
  ~ModuleProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Port() const { return port_; }
  const std::vector<std::string>& Ports() const { return ports_; }

 private:
  pid_t pid_ = -1;
  std::string port_;
  std::vector<std::string> ports_;
};

// The lines a zendra-modsim process received, from its --log file (one JSON object
// per line, "line" for each received line).
inline std::vector<std::string> ModuleLogLines(const std::string& logPath) {
  std::vector<std::string> lines;
  std::ifstream in(logPath);
  for (std::string text; std::getline(in, text);) {
    const auto entry = nlohmann::json::parse(text, nullptr, false);
    if (entry.is_object() && entry.contains("line")) lines.push_back(entry["line"]);
  }
  return lines;
}

inline Result Cli(const ModuleProcess& module, std::vector<std::string> args) {
  args.insert(args.begin(),
              {Program("zendra-cli"), "--time-scale", "0.1", "--port", module.Port()});
  return RunProgram(args);
}

}  // namespace zendra::test
