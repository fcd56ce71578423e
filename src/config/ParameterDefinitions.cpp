#include "config/ParameterDefinitions.h"

#include <algorithm>
#include <cstring>

#include "config/ChoiceList.h"

namespace zendra {

namespace {

// One ";"-terminated field of an entry. A field without a ";" after it (the end of
// the text came first) is missing: its text is empty, so it carries no key and no
// value, and reading stops at the end of the text.
struct Field {
  std::size_t start = 0;
  std::size_t next = 0;  // just past the ";"
  std::string_view text;
};

class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text), lastSemicolon_(text.rfind(';')) {}

  Field At(std::size_t pos) const {
    // Past the last ";" there is no complete field; knowing that up front keeps a
    // file full of unterminated entries from being scanned to its end again and again.
    if (lastSemicolon_ == std::string_view::npos || pos > lastSemicolon_)
      return {pos, text_.size(), {}};
    const std::size_t semicolon = text_.find(';', pos);
    return {pos, semicolon + 1, text_.substr(pos, semicolon - pos)};
  }

 private:
  std::string_view text_;
  std::size_t lastSemicolon_;
};

bool Contains(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

// The value of a keyed field: from two characters after the first "=" (the "=" and
// exactly one blank are skipped) to the end of the field. "Range=1" therefore
// yields an empty value. A field that ends right after its "=" yields nothing
// rather than reaching into the next field.
std::string_view KeyedValue(std::string_view field) {
  const std::size_t eq = field.find('=');
  if (eq == std::string_view::npos || eq + 2 >= field.size()) return {};
  return field.substr(eq + 2);
}

// The text between the field's first "<" and the first ">" after it; without a
// ">" the rest of the field.
std::string_view Description(std::string_view field) {
  const std::size_t lt = field.find('<');
  if (lt == std::string_view::npos) return {};
  const std::size_t gt = field.find('>', lt + 1);
  return gt == std::string_view::npos ? field.substr(lt + 1) : field.substr(lt + 1, gt - lt - 1);
}

// The first keyword found in the type field decides, in this order, so that
// "String(16)" is hexadecimal and "String(10)" decimal.
std::int32_t TypeCode(std::string_view field) {
  if (Contains(field, "10")) return ParameterRecord::kTypeDecimal;
  if (Contains(field, "16")) return ParameterRecord::kTypeHex;
  if (Contains(field, "String")) return ParameterRecord::kTypeString;
  if (Contains(field, "Get")) return ParameterRecord::kTypeGet;
  return ParameterRecord::kTypeUnknown;
}

// One entry as read from the text, before it is stored.
struct Entry {
  std::string_view group;
  std::string_view name;
  std::int32_t type = 0;
  std::string_view comboList;
  std::string_view valueList;
  std::string_view rangeMin;
  std::string_view rangeMax;
  std::string_view description;
  std::string_view command;  // without the "\r\n" that is appended on storing
  std::size_t resumeAt = 0;  // the command field's start: where the next "[" is looked for
};

// Reads the entry whose "[" is at `open`. false when the header is incomplete
// (no "/" or no "]" after it): then no further entry can follow either.
bool ReadEntry(std::string_view text, const FieldReader& fields, std::size_t open, Entry& e) {
  const std::size_t slash = text.find('/', open + 1);
  if (slash == std::string_view::npos) return false;
  const std::size_t close = text.find(']', slash + 1);
  if (close == std::string_view::npos) return false;
  e.group = text.substr(open + 1, slash - open - 1);
  e.name = text.substr(slash + 1, close - slash - 1);

  Field f = fields.At(close + 1);
  e.type = TypeCode(f.text);
  const bool parenthesised = Contains(f.text, "(");
  f = fields.At(f.next);

  if (e.type == ParameterRecord::kTypeDecimal && !parenthesised && Contains(f.text, "Combo_list")) {
    e.comboList = KeyedValue(f.text);
    f = fields.At(f.next);
    // A value list counts only right after a choice list.
    if (Contains(f.text, "Value_list")) {
      e.valueList = KeyedValue(f.text);
      f = fields.At(f.next);
    }
  }
  if (Contains(f.text, "Range")) {
    e.rangeMin = KeyedValue(f.text);
    f = fields.At(f.next);
    e.rangeMax = KeyedValue(f.text);  // the key of the maximum is free text
    f = fields.At(f.next);
  }
  e.description = Description(f.text);
  f = fields.At(f.next);
  e.command = KeyedValue(f.text);
  e.resumeAt = f.start;
  return true;
}

// Whether the texts that decide what is sent to the module fit their fields whole.
// Cutting them would send a different command or value, so such an entry is not
// loaded at all (docs/config-limits.md).
bool SendableTextsFit(const Entry& e) {
  if (e.command.size() + 2 >= ParameterRecord::kCommandWidth) return false;
  if (e.comboList.size() >= ParameterRecord::kListWidth) return false;
  if (e.valueList.size() >= ParameterRecord::kListWidth) return false;
  if (!e.comboList.empty() && !ChoiceList::WithinLimits(e.comboList)) return false;
  if (!e.valueList.empty() && !ChoiceList::WithinLimits(e.valueList)) return false;
  return true;
}

}  // namespace

ParameterDefinitions::ParameterDefinitions() : records_(new ParameterRecord[kMaxRecords]) {
  ZeroFill();
}

void ParameterDefinitions::ZeroFill() {
  std::memset(records_.get(), 0, sizeof(ParameterRecord) * kMaxRecords);
}

const ParameterRecord* ParameterDefinitions::Find(int index) const {
  if (index < 0 || index >= parameterCount || index >= kMaxRecords) return nullptr;
  return &records_[index];
}

void ParameterDefinitions::ParseDefinitionText(std::string_view bytes, bool remoteMode) {
  ZeroFill();
  std::string_view text = bytes.substr(0, std::min(bytes.size(), kMaxFileBytes));
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  Parse(text, remoteMode);
}

void ParameterDefinitions::Parse(std::string_view text, bool remoteMode) {
  parameterCount = 0;
  groupCount = 0;
  rejectedEntries = 0;
  const FieldReader fields(text);
  char previousGroup[ParameterRecord::kGroupWidth] = {};

  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find('[', pos);
    if (open == std::string_view::npos) break;
    Entry e;
    if (!ReadEntry(text, fields, open, e)) break;
    pos = e.resumeAt;

    // Groups are compared as they are stored, cut to their field.
    char group[ParameterRecord::kGroupWidth];
    CopyField(group, e.group);
    const bool stored = !(remoteMode && std::strcmp(group, kSecurityGroup) == 0);
    const bool fits = SendableTextsFit(e);
    if (stored && fits && parameterCount >= kMaxRecords) break;  // the table is full

    // Every group change counts, also for entries that are not stored.
    if (std::strcmp(group, previousGroup) != 0) {
      ++groupCount;
      std::memcpy(previousGroup, group, sizeof group);
    }
    if (!stored) continue;
    if (!fits) {
      ++rejectedEntries;
      continue;
    }

    ParameterRecord& r = records_[parameterCount++];
    std::memcpy(r.group, group, sizeof group);
    CopyField(r.name, e.name);
    r.type = e.type;
    CopyField(r.comboList, e.comboList);
    CopyField(r.valueList, e.valueList);
    CopyField(r.rangeMin, e.rangeMin);
    CopyField(r.rangeMax, e.rangeMax);
    CopyField(r.description, e.description);
    std::string command(e.command);
    command += "\r\n";
    CopyField(r.command, command);
  }
}

void ParameterDefinitions::BuildNameTable() {
  if (parameterCount <= 0 || records_[0].group[0] == '\0') return;
  nameTable.Clear();
  int row = -1;
  int entry = 0;
  for (int i = 0; i < parameterCount && records_[i].group[0] != '\0'; ++i) {
    const ParameterRecord& r = records_[i];
    if (i == 0 || std::strcmp(r.group, records_[i - 1].group) != 0) {
      // A group that reappears later in the file becomes a row of its own.
      if (++row >= ParameterNameTable::kRows) break;
      nameTable.Set(row, 0, FieldText(r.group));
      entry = 1;
    }
    // The last entry of a row stays empty as its end mark.
    if (entry <= ParameterNameTable::kParametersPerRow)
      nameTable.Set(row, entry++, FieldText(r.name));
  }
}

void ParameterDefinitions::SetReadFailure() {
  parameterCount = 0;
  groupCount = 1;
  nameTable.Set(0, 0, kReadFailText);
  nameTable.Set(0, 1, {});
}

std::vector<ParameterDefinitions::TreeRow> ParameterDefinitions::TreeRows() const {
  std::vector<TreeRow> rows;
  const int last = std::min(groupCount, kMaxTreeRows);
  for (int r = 0; r < last; ++r) {
    if (nameTable.Entry(r, 0).empty()) continue;
    TreeRow row{nameTable.Entry(r, 0), {}};
    for (int e = 1; e < ParameterNameTable::kEntries && !nameTable.Entry(r, e).empty(); ++e)
      row.names.push_back(nameTable.Entry(r, e));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace zendra
