#include "SimulatorCommandLine.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <tuple>
#include <utility>

#include "AtNode.h"

namespace zendra::sim {

namespace {

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) parts.push_back(part);
  if (!text.empty() && text.back() == ',') parts.emplace_back();
  return parts;
}

// EUI[,PRODUCT[,VERSION[,NODENAME[,TYPE[,DEFINITIONS]]]]]
RemoteNode ParseRemote(const std::string& text) {
  auto parts = SplitCommas(text);
  RemoteNode node;
  if (parts.empty() || parts[0].empty()) throw CLI::ValidationError("--remote", "needs an EUI address");
  node.euiAddress = parts[0];
  if (parts.size() > 1 && !parts[1].empty()) node.productName = parts[1];
  if (parts.size() > 2 && !parts[2].empty()) node.version = parts[2];
  if (parts.size() > 3 && !parts[3].empty()) node.nodeName = parts[3];
  if (parts.size() > 4 && !parts[4].empty()) {
    try {
      node.nodeType = std::stoi(parts[4]);
    } catch (const std::exception&) {
      throw CLI::ValidationError("--remote", "node type must be a number: " + parts[4]);
    }
  }
  if (parts.size() > 5) node.definitionsFile = parts[5];
  return node;
}

int ParseCount(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 1'000'000)
    throw CLI::ValidationError(option, "not a count: " + text);
  return static_cast<int>(value);
}

// TARGET,FAULT[=VALUE], as --remote-fault and --module-fault take it.
struct FaultOption {
  FaultOption(std::string optionName, const std::string& text, const char* targetName)
      : option(std::move(optionName)), whole(text) {
    const auto comma = text.find(',');
    if (comma == std::string::npos || comma == 0)
      throw CLI::ValidationError(option, std::string(targetName) + ",FAULT expected: " + text);
    target = text.substr(0, comma);
    fault = text.substr(comma + 1);
    if (const auto eq = fault.find('='); eq != std::string::npos) {
      value = fault.substr(eq + 1);
      fault.erase(eq);
    }
  }
  // VALUE, which the fault needs.
  const std::string& Value() const {
    if (value.empty()) throw CLI::ValidationError(option, fault + " needs =VALUE: " + whole);
    return value;
  }
  int Count() const { return ParseCount(option, Value()); }
  // K or K:N: block K refused N times (once by default).
  std::pair<int, int> Refusal() const {
    const auto colon = Value().find(':');
    return {ParseCount(option, value.substr(0, colon)),
            colon == std::string::npos ? 1 : ParseCount(option, value.substr(colon + 1))};
  }
  [[noreturn]] void Unknown() const {
    throw CLI::ValidationError(option, "unknown fault " + fault);
  }

  std::string option, whole, target, fault, value;
};

// EUI,FAULT[=VALUE] applied to the remote node with that EUI address.
void ApplyRemoteFault(const std::string& text, std::vector<RemoteNode>& remotes) {
  const FaultOption f("--remote-fault", text, "EUI");
  RemoteNode* node = nullptr;
  for (auto& remote : remotes) {
    if (UpperAscii(remote.euiAddress) == UpperAscii(f.target)) node = &remote;
  }
  if (!node) throw CLI::ValidationError(f.option, "no remote node " + f.target);
  RemoteFaults& faults = node->faults;
  const std::string& fault = f.fault;
  if (fault == "silent") {
    faults.reach = RemoteFaults::Reach::Silent;
  } else if (fault == "unreachable") {
    faults.reach = RemoteFaults::Reach::Unreachable;
  } else if (fault == "error-command") {
    faults.errorCommands.push_back(f.Value());
  } else if (fault == "bootload-error") {
    faults.bootload = RemoteFaults::Bootload::Error;
  } else if (fault == "bootload-silent") {
    faults.bootload = RemoteFaults::Bootload::Silent;
  } else if (fault == "refuse-block") {
    std::tie(faults.refuseBlock, faults.refuseTimes) = f.Refusal();
  } else if (fault == "refuse-every-block") {
    faults.refuseEveryBlock = true;
  } else if (fault == "silent-after-block") {
    faults.silentAfterBlock = f.Count();
  } else if (fault == "clone-error") {
    faults.clone = RemoteFaults::Clone::Error;
  } else if (fault == "clone-never-ends") {
    faults.clone = RemoteFaults::Clone::NeverEnds;
  } else {
    f.Unknown();
  }
}

// K,FAULT[=VALUE] applied to module K (1-based) of a group.
void ApplyModuleFault(const std::string& text, std::vector<Options>& modules) {
  const FaultOption f("--module-fault", text, "K");
  const int module = ParseCount(f.option, f.target);
  if (module < 1 || module > static_cast<int>(modules.size()))
    throw CLI::ValidationError(f.option, "no module " + f.target + " (--count " +
                                             std::to_string(modules.size()) + ")");
  Options& options = modules[static_cast<std::size_t>(module - 1)];
  Faults& faults = options.faults;
  const std::string& fault = f.fault;
  if (fault == "silent") {
    faults.silent = true;
  } else if (fault == "error-command") {
    faults.errorCommands.push_back(f.Value());
  } else if (fault == "vanish-after-block") {
    faults.vanishAfterBlock = f.Count();
  } else if (fault == "silent-after-block") {
    faults.silentAfterBlock = f.Count();
  } else if (fault == "refuse-block") {
    std::tie(faults.refuseBlock, faults.refuseTimes) = f.Refusal();
  } else if (fault == "damaged") {
    options.damaged = true;
  } else {
    f.Unknown();
  }
}

// "0x18", "24", "NAK", "CAN", "ACK"
std::uint8_t ParseByte(const std::string& option, const std::string& text) {
  if (text == "ACK") return 0x06;
  if (text == "NAK") return 0x15;
  if (text == "CAN") return 0x18;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value < 0 || value > 255)
    throw CLI::ValidationError(option, "not a byte: " + text);
  return static_cast<std::uint8_t>(value);
}

// The rates a module's UART can run at.
std::string CheckBaud(const std::string& text) {
  static const char* const rates[] = {"1200",   "2400",   "4800",   "9600",   "19200", "38400",
                                      "57600",  "115200", "230400", "460800", "921600"};
  if (text == "auto") return {};
  for (const char* rate : rates)
    if (text == rate) return {};
  return "--baud takes \"auto\" or one of 1200 2400 4800 9600 19200 38400 57600 115200 230400 "
         "460800 921600, not \"" + text + "\"";
}

}  // namespace

std::string OffsetEuiAddress(const std::string& first, int offset) {
  if (first.empty() || first.size() > 16 || offset < 0) return {};
  std::uint64_t value = 0;
  for (char c : first) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int digit = -1;
    if (upper >= '0' && upper <= '9') digit = upper - '0';
    if (upper >= 'A' && upper <= 'F') digit = upper - 'A' + 10;
    if (digit < 0) return {};
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  const std::uint64_t sum = value + static_cast<std::uint64_t>(offset);
  const std::size_t width = first.size();
  if (sum < value || (width < 16 && sum >> (4 * width) != 0)) return {};
  std::string text(width, '0');
  std::uint64_t rest = sum;
  for (std::size_t i = width; i-- > 0; rest >>= 4) text[i] = "0123456789ABCDEF"[rest & 0xF];
  return text;
}

std::string ModuleLogFile(const std::string& file, int module, int count) {
  if (file.empty() || count <= 1) return file;
  return file + "." + std::to_string(module);
}

std::string DefinitionsFileIn(const std::string& folder, const std::string& product,
                              const std::string& version) {
  if (folder.empty()) return {};
  const std::string path = folder + product + "_" + version + ".zmcon";
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) ? path : std::string();
}

std::string ProgramFolderOfThisProcess() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().string() + "/";
}

SimulatorCommandLine::SimulatorCommandLine(std::string defaultBaud) : baud_(std::move(defaultBaud)) {}

void SimulatorCommandLine::AddTo(CLI::App& app, const std::string& group) {
  Options& o = options_;
  auto add = [&](CLI::Option* option) {
    if (!group.empty()) option->group(group);
    added_.push_back(option);
    return option;
  };
  add(app.add_option("--product", o.productName, "Product name (model code) it reports")->capture_default_str());
  add(app.add_option("--version", o.version, "Firmware version it reports")->capture_default_str());
  add(app.add_option("--eui", o.euiAddress, "EUI (IEEE) address it reports")->capture_default_str());
  add(app.add_option("--node-name", o.nodeName, "Node name it reports")->capture_default_str());
  add(app.add_option("--node-type", o.nodeType, "1 coordinator, 2 router, 3 end device, 4 sleepy end device")
          ->check(CLI::Range(0, 9))
          ->capture_default_str());
  add(app.add_option("--baud", baud_, "Its UART rate, or 'auto' to follow the rate the host sets")
          ->check(CheckBaud)
          ->capture_default_str());
  add(app.add_flag("--damaged", o.damaged, "Damaged firmware: starts in the bootloader menu"));
  add(app.add_flag("--data-mode", o.dataMode, "Starts in transparent mode: AT commands only after +++"));
  add(app.add_option("--definitions", o.definitionsFile,
                     "Definition file (.zmcon) of its registers; default: PRODUCT_VERSION.zmcon in "
                     "the program folder, else a built-in set"));
  add(app.add_flag("--builtin-definitions", builtIn_,
                   "Use the built-in registers even when a definition file is in the program folder"));
  add(app.add_option("--remote", remotes_, "A remote node: EUI[,PRODUCT[,VERSION[,NODENAME[,TYPE[,DEFINITIONS]]]]]")
          ->take_all());
  add(app.add_option("--set", sets_, "Factory value of a register, CMD=VALUE")->take_all());
  add(app.add_option("--time-scale", o.timeScale, "Scale of the module's own pauses (not the line's pace)")
          ->capture_default_str());
  add(app.add_option("--sleep-after", o.sleepAfterMs, "Sleepy end device: idle ms before it sleeps")
          ->capture_default_str());
  add(app.add_flag("--echo-kept-over-restart", o.echoKeptOverRestart,
                   "Keep the echo as it was over ATZ and a run from the bootloader (default: on again)"));
  add(app.add_option("--reply-form", replyForm_,
                     "Layout of query answers: usual (a blank line before the OK, as most "
                     "modules) or short")
          ->check(CLI::IsMember({"usual", "short"}))
          ->capture_default_str());
  add(app.add_option("--restart-ms", o.restartMs, "ATZ: ms the module is deaf while it restarts")
          ->capture_default_str());
  add(app.add_option("--radio-delay", o.radioDelayMs, "AT+RC=: ms until the remote's reply")
          ->capture_default_str());
  add(app.add_option("--refuse-block", o.faults.refuseBlock, "Refuse this block (1-based)"));
  add(app.add_option("--refuse-times", o.faults.refuseTimes, "How often the block is refused"));
  add(app.add_option("--refuse-with", refuseWith_, "Byte that refuses it: NAK, CAN or a number")
          ->capture_default_str());
  add(app.add_option("--silent-after-block", o.faults.silentAfterBlock, "Answer nothing after this block"));
  add(app.add_option("--block-settle-ms", o.faults.blockSettleMs,
                     "The bootloader NAKs a block that starts less than MS after the last ACK"));
  add(app.add_flag("--never-send-c", o.faults.neverSendC, "Never send the 'C' start request"));
  add(app.add_flag("--no-completion-text", o.faults.noCompletionText, "Never print the completion text"));
  add(app.add_option("--eot-answer", eotAnswer_, "Byte that answers EOT: ACK, NAK, CAN or a number")
          ->capture_default_str());
  add(app.add_flag("--silent", o.faults.silent, "The AT interpreter answers nothing"));
  add(app.add_option("--error-command", o.faults.errorCommands,
                     "Answer this command (e.g. AT+NODENAME) with ERROR; repeatable")
          ->take_all());
  add(app.add_flag("--quiet-start", o.faults.quietStart,
                   "The firmware started from the bootloader menu prints no greeting"));
  add(app.add_option("--log", o.logFile, "Append every received line to this file"));
  add(app.add_option("--network", networkNodes_,
                     "Add N generated remote nodes (the same N gives the same nodes)")
          ->check(CLI::Range(0, 100000)));
  add(app.add_flag("--odd-names", oddNames_,
                   "Add five remote nodes with names a scan reader must take whole "
                   "(spaces, bars, OK, ERROR)"));
  add(app.add_option("--scan-ms", o.scan.scanMs, "at+ds: ms until the first line")
          ->capture_default_str());
  add(app.add_option("--scan-line-gap", o.scan.lineGapMs,
                     "at+ds: ms between two lines (0: all at once)")
          ->capture_default_str());
  add(app.add_flag("--scan-markers", o.scan.markers,
                   "at+ds: a *| header line and a CLD|/CHD| child table among the records"));
  add(app.add_flag("--scan-odd-records", o.scan.oddRecords,
                   "at+ds: a record of three fields and one of seven"));
  add(app.add_flag("--scan-padded-versions", o.scan.paddedVersions,
                   "at+ds: versions padded with trailing spaces"));
  add(app.add_flag("--scan-error", o.faults.scanError, "at+ds answers ERROR"));
  add(app.add_flag("--scan-silent", o.faults.scanSilent, "at+ds answers nothing"));
  add(app.add_option("--unreachable-ms", o.unreachableMs,
                     "ms until an unreachable remote is reported with ERROR")
          ->capture_default_str());
  add(app.add_option("--remote-bootload-ms", o.remoteBootloadMs,
                     "AT+BOOTLOAD=1,EUI / =2,EUI: ms until the remote's bootloader is reached")
          ->capture_default_str());
  add(app.add_option("--relay-block-ms", o.relayBlockMs,
                     "Relayed upload: ms the radio hop adds to every answer")
          ->capture_default_str());
  add(app.add_option("--clone-ms", o.cloneMs, "AT+BOOTLOAD=2,EUI: ms the clone takes")
          ->capture_default_str());
  add(app.add_option("--count", count_,
                     "Serve N modules, each on its own pseudo-terminal, with the EUI addresses "
                     "--eui, --eui + 1, ...")
          ->check(CLI::Range(1, 256))
          ->capture_default_str());
  add(app.add_option("--module-fault", moduleFaults_,
                     "A fault of module K of --count, K,FAULT: silent, error-command=CMD, "
                     "vanish-after-block=N, silent-after-block=N, refuse-block=N[:TIMES], "
                     "damaged; repeatable")
          ->take_all());
  add(app.add_option("--remote-fault", remoteFaults_,
                     "A remote node's fault, EUI,FAULT: silent, unreachable, error-command=CMD, "
                     "bootload-error, bootload-silent, refuse-block=K[:N], refuse-every-block, "
                     "silent-after-block=K, clone-error, clone-never-ends; repeatable")
          ->take_all());
}

Options SimulatorCommandLine::Finish(const std::string& definitionsFolder) const {
  Options options = options_;
  options.baudRate = baud_ == "auto" ? 0 : std::stoi(baud_);
  options.faults.refuseWith = ParseByte("--refuse-with", refuseWith_);
  options.faults.eotAnswer = ParseByte("--eot-answer", eotAnswer_);
  options.replyForm = replyForm_ == "short" ? ReplyForm::Short : ReplyForm::Usual;
  const std::string folder = builtIn_ ? std::string() : definitionsFolder;
  if (options.definitionsFile.empty())
    options.definitionsFile = DefinitionsFileIn(folder, options.productName, options.version);
  for (const auto& text : remotes_) {
    RemoteNode remote = ParseRemote(text);
    if (remote.definitionsFile.empty())
      remote.definitionsFile = DefinitionsFileIn(folder, remote.productName, remote.version);
    options.remotes.push_back(remote);
  }
  auto addFound = [&](std::vector<RemoteNode> nodes) {
    for (auto& node : nodes) {
      node.definitionsFile = DefinitionsFileIn(folder, node.productName, node.version);
      options.remotes.push_back(std::move(node));
    }
  };
  if (oddNames_) addFound(OddlyNamedNodes());
  addFound(GeneratedNetwork(networkNodes_));
  for (const auto& fault : remoteFaults_) ApplyRemoteFault(fault, options.remotes);
  for (const auto& set : sets_) {
    const auto eq = set.find('=');
    if (eq == std::string::npos || eq == 0) throw CLI::ValidationError("--set", "CMD=VALUE expected: " + set);
    options.registerValues.emplace_back(set.substr(0, eq), set.substr(eq + 1));
  }
  return options;
}

std::vector<Options> SimulatorCommandLine::FinishAll(const std::string& definitionsFolder) const {
  const Options first = Finish(definitionsFolder);
  std::vector<Options> modules;
  for (int k = 1; k <= count_; ++k) {
    Options module = first;
    module.euiAddress = OffsetEuiAddress(first.euiAddress, k - 1);
    if (count_ > 1 && module.euiAddress.empty())
      throw CLI::ValidationError("--count", "--eui " + first.euiAddress +
                                                " is no hexadecimal address that " +
                                                std::to_string(count_) +
                                                " modules can count up from");
    if (count_ == 1) module.euiAddress = first.euiAddress;
    module.logFile = ModuleLogFile(first.logFile, k, count_);
    modules.push_back(std::move(module));
  }
  for (const auto& fault : moduleFaults_) ApplyModuleFault(fault, modules);
  return modules;
}

std::string SimulatorCommandLine::FirstGiven() const {
  for (const auto* option : added_)
    if (option->count() > 0) return option->get_name();
  return {};
}

}  // namespace zendra::sim
