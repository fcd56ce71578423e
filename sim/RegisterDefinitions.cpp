#include "RegisterDefinitions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zendra::sim {

namespace {

constexpr std::string_view kBuiltIn =
    "; Registers of a Zendra module started without a definition file.\n"
    "[Serial/Baud rate]10;Combo_list = 9600:19200:38400:57600:115200;Value_list = 3:4:5:6:7;\n"
    "  UART speed: <Takes effect after a restart.>;\n"
    "  Command = ATS00;\n"
    "[Serial/Flow control]10;Combo_list = None:RTS/CTS;Handshake: <None or hardware handshake.>;\n"
    "  Command = ATS01;\n"
    "[Radio/Channel]10;Range = 11;Max = 26;Radio channel: <11 to 26.>;\n"
    "  Command = ATS02;\n"
    "[Radio/Transmit power]10;Range = 0;Max = 20;Output power step: <0 (lowest) to 20.>;\n"
    "  Command = ATS03;\n"
    "[Radio/PAN ID]16;Range = 0000;Max = FFFF;Network identifier: <Four hexadecimal digits.>;\n"
    "  Command = ATS04;\n"
    "[Node/Node name]String;Range = 1;Max = 16;Shown in scans: <1 to 16 characters.>;\n"
    "  Command = AT+NODENAME;\n"
    "[Node/Node type]Get;About the node: <1 coordinator, 2 router, 3 end device,\n"
    "  4 sleepy end device. Read only.>;\n"
    "  Command = AT+NODETYPE;\n"
    "[Security Settings/Link key]16;Range = 0;Max = FFFFFFFF;Network key: <Hexadecimal.>;\n"
    "  Command = ATS05;\n";

// Walks the fields of one entry; a field is the text up to the next ";".
class FieldCursor {
 public:
  FieldCursor(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}

  std::string_view Peek() const {
    if (pos_ >= text_.size()) return {};
    std::size_t end = text_.find(';', pos_);
    return text_.substr(pos_, end == std::string_view::npos ? std::string_view::npos : end - pos_);
  }
  std::string_view Take() {
    std::string_view field = Peek();
    pos_ = std::min(text_.size(), pos_ + field.size() + 1);
    return field;
  }
  std::size_t Position() const { return pos_; }

 private:
  std::string_view text_;
  std::size_t pos_;
};

// The value of a "Key = value" field: from two characters after the "=".
std::string KeyedValue(std::string_view field) {
  std::size_t eq = field.find('=');
  if (eq == std::string_view::npos || eq + 2 > field.size()) return {};
  return std::string(field.substr(eq + 2));
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  if (list.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    std::size_t colon = list.find(':', start);
    items.push_back(list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return items;
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

std::string TrimCommand(std::string command) {
  std::size_t end = command.find_last_not_of(" \t\r\n");
  command.erase(end == std::string::npos ? 0 : end + 1);
  std::size_t start = command.find_first_not_of(" \t\r\n");
  return start == std::string::npos ? std::string() : command.substr(start);
}

bool ParseInteger(const std::string& text, int base, long long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtoll(text.c_str(), &end, base);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  // strtoll skips leading blanks and takes "0x" in base 16; a register value must
  // be the bare number.
  char first = text[0];
  if (first == ' ' || first == '\t' || first == '+') return false;
  if (base == 16 && text.size() > 1 && (text[1] == 'x' || text[1] == 'X')) return false;
  return true;
}

}  // namespace

std::string RegisterDefinition::InitialValue() const {
  if (!values.empty()) return values.front();
  if (!choices.empty()) return "0";
  if (HasRange()) return rangeMin;
  return kind == Kind::String ? std::string() : std::string("0");
}

bool RegisterDefinition::Accepts(const std::string& value) const {
  if (kind == Kind::ReadOnly) return false;
  if (!values.empty()) {
    for (const auto& v : values) {
      if (v == value) return true;
    }
    return false;
  }
  if (!choices.empty()) {
    long long index;
    if (!ParseInteger(value, 10, index) || value[0] == '-') return false;
    return index >= 0 && index < static_cast<long long>(choices.size());
  }
  if (!HasRange()) return true;
  long long low, high, v;
  switch (kind) {
    case Kind::Decimal:
    case Kind::Hex: {
      int base = kind == Kind::Hex ? 16 : 10;
      if (!ParseInteger(rangeMin, base, low) || !ParseInteger(rangeMax, base, high)) return true;
      if (!ParseInteger(value, base, v)) return false;
      return v >= low && v <= high;
    }
    case Kind::String: {
      if (!ParseInteger(rangeMin, 10, low) || !ParseInteger(rangeMax, 10, high)) return true;
      auto length = static_cast<long long>(value.size());
      return length >= low && length <= high;
    }
    default:
      return true;
  }
}

std::vector<RegisterDefinition> ParseDefinitions(std::string_view text) {
  std::vector<RegisterDefinition> result;
  std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::size_t pos = 0;
  while ((pos = text.find('[', pos)) != std::string_view::npos) {
    ++pos;
    std::size_t slash = text.find('/', pos);
    if (slash == std::string_view::npos) break;
    std::size_t close = text.find(']', slash);
    if (close == std::string_view::npos) break;
    RegisterDefinition def;
    def.group = std::string(text.substr(pos, slash - pos));
    def.name = std::string(text.substr(slash + 1, close - slash - 1));

    FieldCursor fields(text, close + 1);
    std::string_view type = fields.Take();
    if (Contains(type, "10")) {
      def.kind = RegisterDefinition::Kind::Decimal;
    } else if (Contains(type, "16")) {
      def.kind = RegisterDefinition::Kind::Hex;
    } else if (Contains(type, "String")) {
      def.kind = RegisterDefinition::Kind::String;
    } else if (Contains(type, "Get")) {
      def.kind = RegisterDefinition::Kind::ReadOnly;
    }
    if (def.kind == RegisterDefinition::Kind::Decimal && !Contains(type, "(") &&
        Contains(fields.Peek(), "Combo_list")) {
      def.choices = SplitList(KeyedValue(fields.Take()));
      if (Contains(fields.Peek(), "Value_list")) def.values = SplitList(KeyedValue(fields.Take()));
    }
    if (Contains(fields.Peek(), "Range")) {
      def.rangeMin = KeyedValue(fields.Take());
      def.rangeMax = KeyedValue(fields.Take());
    }
    std::string_view description = fields.Take();
    std::size_t open = description.find('<');
    if (open != std::string_view::npos) {
      std::size_t end = description.find('>', open);
      if (end != std::string_view::npos) def.description = std::string(description.substr(open + 1, end - open - 1));
    }
    std::size_t commandStart = fields.Position();
    def.command = TrimCommand(KeyedValue(fields.Peek()));
    if (!def.command.empty()) result.push_back(std::move(def));
    pos = commandStart;
  }
  return result;
}

bool LoadDefinitionFile(const std::string& path, std::vector<RegisterDefinition>& out,
                        std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  out = ParseDefinitions(text.str());
  return true;
}

std::string_view BuiltInDefinitions() { return kBuiltIn; }

}  // namespace zendra::sim
