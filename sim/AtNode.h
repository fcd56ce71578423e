#pragma once
// One Zendra node's AT personality: its identification, its registers and the
// answers to a command line. The local module and every remote node reached with
// "AT+RC=" are each one AtNode; what is special about the serial line (echo, the
// "+++" escape, sleep, the bootloader) lives with the local module, not here.
//
// Reply layouts, as the module puts them on the line:
//   query, usual form "\r\n" VALUE "\r\n" "\r\n" "OK\r\n"
//   query, short form "\r\n" VALUE "\r\n" "OK\r\n"
//   command, no value "\r\nOK\r\n"
//   failure          "\r\nERROR\r\n"
// Command names are matched without regard to case; values are taken as sent.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ModuleSimulator.h"
#include "RegisterDefinitions.h"

namespace zendra::sim {

inline constexpr std::string_view kReplyOk = "\r\nOK\r\n";
inline constexpr std::string_view kReplyError = "\r\nERROR\r\n";
inline std::string ValueReply(const std::string& value, ReplyForm form) {
  return "\r\n" + value + (form == ReplyForm::Usual ? "\r\n\r\nOK\r\n" : "\r\nOK\r\n");
}

class AtNode {
 public:
  struct Identity {
    std::string productName;
    std::string euiAddress;
    std::string nodeName;
    std::string version;
    int nodeType = 1;
  };

  // What the command asks of the node beyond its reply.
  enum class Action { None, EchoOff, EchoOn, Restart, EnterBootloader };

  struct Outcome {
    std::string reply;
    Action action = Action::None;
  };

  // `initialValues` override the definitions' factory values (command, value).
  AtNode(Identity identity, const std::vector<RegisterDefinition>& definitions,
         const std::vector<std::pair<std::string, std::string>>& initialValues, bool remote,
         ReplyForm replyForm = ReplyForm::Usual);

  // Runs one command line (line end removed). Never empty.
  Outcome Execute(std::string_view line);

  // Current value; empty when there is no such register.
  std::string Read(const std::string& command) const;
  bool Has(const std::string& command) const;
  // Sets a value without the checks of a write from the line; creates the register
  // when it does not exist.
  void Set(const std::string& command, const std::string& value);
  void FactoryDefault();

  std::string ProductName() const { return Read("AT+PRODUCTNAME"); }
  std::string EuiAddress() const { return Read("AT+LONGADDR"); }
  std::string Version() const { return Read("AT+VERSION"); }
  // New firmware: the version changes and stays through factory defaults.
  void SetFirmwareVersion(const std::string& version);
  int NodeType() const;

 private:
  struct Register {
    std::string command;  // as first named
    bool hasDefinition = false;
    RegisterDefinition definition;
    bool firmwareFact =
        false;  // product, address, version: never written from the line, kept by AT&f
    bool readOnly = false;
    std::string initial;
    std::string value;
  };

  Register* Find(std::string_view command);
  const Register* Find(std::string_view command) const;
  Register& Add(const std::string& command);

  std::vector<Register> registers_;
  std::map<std::string, std::size_t> index_;  // upper-case command → registers_
  bool remote_;
  ReplyForm replyForm_;
};

std::string UpperAscii(std::string_view text);

}  // namespace zendra::sim
