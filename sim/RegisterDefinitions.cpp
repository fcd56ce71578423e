#include "RegisterDefinitions.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace zendra::sim {

namespace {

constexpr std::string_view kBuiltIn =
    "; Registers of a Zendra module started without a definition file.\n"
    "[Serial/Baud rate]10;Combo_list = 1200:2400:4800:9600:19200:38400:57600:115200;\n"
    "  Value_list = 0:1:2:3:4:5:6:7;\n"
    "  About: <UART speed of the application.>;\n"
    "  Command = AT+BAUD;\n"
    "[Serial/Flow control]10;Combo_list = None:XON/XOFF:RTS/CTS;About: <Handshake on the serial "
    "line.>;\n"
    "  Command = AT+FLOW;\n"
    "[Network/Channel]10;Range = 11;Max = 26;About: <Radio channel, 11 to 26.>;\n"
    "  Command = AT+CHANNEL;\n"
    "[Network/PAN ID]16;Range = 0000;Max = FFFE;About: <Network identifier, four hexadecimal "
    "digits.>;\n"
    "  Command = AT+PANID;\n"
    "[Power/TX power]10;Range = -8;Max = 8;About: <Output power in dBm.>;\n"
    "  Command = AT+TXPOWER;\n"
    "[Node/Node name]String;Range = 1;Max = 16;About: <Shown in network scans, 1 to 16 "
    "characters.>;\n"
    "  Command = AT+NODENAME;\n"
    "[Node/Node type]Get;About: <1 coordinator, 2 router, 3 end device, 4 sleepy end device.>;\n"
    "  Command = AT+NODETYPE;\n"
    "[Security Settings/Link key]16;Range = 00000000000000000000000000000000;\n"
    "  Max = FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF;About: <128-bit key, hexadecimal.>;\n"
    "  Command = AT+LINKKEY;\n";

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
    items.push_back(
        list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
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

// A number of any length (keys are 128-bit), as sign and digits without leading
// zeros, so that it compares without overflow.
struct Number {
  bool negative = false;
  std::string digits;  // upper case, "0" for zero
};

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// The bare number only: no blanks, no "+", no "0x"; a sign only in decimal.
bool ParseNumber(const std::string& text, int base, Number& out) {
  std::size_t i = 0;
  out = Number{};
  if (base == 10 && !text.empty() && text[0] == '-') {
    out.negative = true;
    i = 1;
  }
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (DigitValue(text[i]) >= base) return false;
    if (out.digits.empty() && text[i] == '0') continue;
    out.digits += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  }
  if (out.digits.empty()) {
    out.digits = "0";
    out.negative = false;
  }
  return true;
}

int Compare(const Number& a, const Number& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = a.digits.size() != b.digits.size() ? (a.digits.size() < b.digits.size() ? -1 : 1)
                                                     : a.digits.compare(b.digits);
  magnitude = magnitude < 0 ? -1 : (magnitude > 0 ? 1 : 0);
  return a.negative ? -magnitude : magnitude;
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
  Number low, high, v;
  if (!choices.empty()) {
    // Without device values the choice's index is the value.
    Number count{false, std::to_string(choices.size())};
    return ParseNumber(value, 10, v) && !v.negative && Compare(v, count) < 0;
  }
  if (!HasRange()) return true;
  switch (kind) {
    case Kind::Decimal:
    case Kind::Hex: {
      int base = kind == Kind::Hex ? 16 : 10;
      // A range the module cannot read limits nothing.
      if (!ParseNumber(rangeMin, base, low) || !ParseNumber(rangeMax, base, high)) return true;
      if (!ParseNumber(value, base, v)) return false;
      return Compare(v, low) >= 0 && Compare(v, high) <= 0;
    }
    case Kind::String: {
      if (!ParseNumber(rangeMin, 10, low) || !ParseNumber(rangeMax, 10, high)) return true;
      Number length{false, std::to_string(value.size())};
      return Compare(length, low) >= 0 && Compare(length, high) <= 0;
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
      if (end != std::string_view::npos)
        def.description = std::string(description.substr(open + 1, end - open - 1));
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
