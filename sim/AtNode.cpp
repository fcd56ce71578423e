#include "AtNode.h"

#include <cctype>

namespace zendra::sim {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

AtNode::AtNode(Identity identity, const std::vector<RegisterDefinition>& definitions,
               const std::vector<std::pair<std::string, std::string>>& initialValues, bool remote,
               ReplyForm replyForm)
    : remote_(remote), replyForm_(replyForm) {
  struct Fact {
    const char* command;
    std::string value;
    bool firmwareFact;
    bool readOnly;
  };
  const Fact facts[] = {
      {"AT+PRODUCTNAME", identity.productName, true, true},
      {"AT+LONGADDR", identity.euiAddress, true, true},
      {"AT+NODENAME", identity.nodeName, false, false},
      {"AT+VERSION", identity.version, true, true},
      {"AT+NODETYPE", std::to_string(identity.nodeType), false, true},
  };
  for (const auto& fact : facts) {
    Register& reg = Add(fact.command);
    reg.initial = reg.value = fact.value;
    reg.firmwareFact = fact.firmwareFact;
    reg.readOnly = fact.readOnly;
  }
  for (const auto& def : definitions) {
    Register* reg = Find(def.command);
    if (reg) {
      // An identification register described by the file: the file decides what a
      // write may carry (a node type may be writable), the node decides the value.
      // Product, address and version belong to the hardware and firmware.
      reg->hasDefinition = true;
      reg->definition = def;
      if (!reg->firmwareFact) reg->readOnly = def.kind == RegisterDefinition::Kind::ReadOnly;
      continue;
    }
    Register& added = Add(def.command);
    added.hasDefinition = true;
    added.definition = def;
    added.initial = added.value = def.InitialValue();
  }
  for (const auto& [command, value] : initialValues) {
    Register* reg = Find(command);
    if (!reg) reg = &Add(command);
    reg->initial = reg->value = value;
  }
}

AtNode::Register& AtNode::Add(const std::string& command) {
  index_[UpperAscii(command)] = registers_.size();
  registers_.push_back(Register{});
  registers_.back().command = command;
  return registers_.back();
}

AtNode::Register* AtNode::Find(std::string_view command) {
  auto it = index_.find(UpperAscii(command));
  return it == index_.end() ? nullptr : &registers_[it->second];
}

const AtNode::Register* AtNode::Find(std::string_view command) const {
  auto it = index_.find(UpperAscii(command));
  return it == index_.end() ? nullptr : &registers_[it->second];
}

AtNode::Outcome AtNode::Execute(std::string_view line) {
  std::size_t eq = line.find('=');
  std::string name = UpperAscii(line.substr(0, eq));
  bool hasValue = eq != std::string_view::npos;
  std::string value = hasValue ? std::string(line.substr(eq + 1)) : std::string();

  if (!hasValue) {
    if (name == "AT" || name == "ATR1") return {std::string(kReplyOk)};
    if (name == "ATE0") return {std::string(kReplyOk), Action::EchoOff};
    if (name == "ATE1") return {std::string(kReplyOk), Action::EchoOn};
    if (name == "ATZ") return {std::string(kReplyOk), Action::Restart};
    if (name == "AT&F") {
      FactoryDefault();
      return {std::string(kReplyOk)};
    }
    if (name == "AT+BOOTLOAD") {
      // A remote node is updated through its parent's relay, not by this command.
      if (remote_) return {std::string(kReplyError)};
      return {"\r\nENTER BOOTLOADER\r\n", Action::EnterBootloader};
    }
  }
  Register* reg = Find(name);
  if (!reg) return {std::string(kReplyError)};
  if (!hasValue) return {ValueReply(reg->value, replyForm_)};
  if (reg->readOnly) return {std::string(kReplyError)};
  if (reg->hasDefinition && !reg->definition.Accepts(value)) return {std::string(kReplyError)};
  reg->value = value;
  return {std::string(kReplyOk)};
}

std::string AtNode::Read(const std::string& command) const {
  const Register* reg = Find(command);
  return reg ? reg->value : std::string();
}

bool AtNode::Has(const std::string& command) const { return Find(command) != nullptr; }

void AtNode::Set(const std::string& command, const std::string& value) {
  Register* reg = Find(command);
  if (!reg) {
    reg = &Add(command);
    reg->initial = value;
  }
  reg->value = value;
}

void AtNode::FactoryDefault() {
  for (auto& reg : registers_) {
    if (!reg.firmwareFact) reg.value = reg.initial;
  }
}

void AtNode::SetFirmwareVersion(const std::string& version) {
  Register* reg = Find("AT+VERSION");
  reg->initial = reg->value = version;
}

int AtNode::NodeType() const {
  std::string text = Read("AT+NODETYPE");
  int type = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    type = type * 10 + (c - '0');
    if (type > 1000) return 0;
  }
  return type;
}

}  // namespace zendra::sim
