#include "config/ParameterFilter.h"

#include "base/SingleByteText.h"

namespace zendra {

namespace {

// The lower-case partner of `c` for the scripts the definition files are written in.
char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c < 0xC0) return c;
  // Latin-1: À..Þ without the multiplication sign.
  if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;
  if (c < 0x100) return c;
  // Latin Extended-A: pairs of capital (even) and small (odd) letters, shifted by
  // one between U+0139 and U+0148 and from U+0179 on.
  if (c <= 0x17F) {
    if (c == 0x130) return U'i';  // capital I with dot
    if (c == 0x178) return 0xFF;  // capital Y with diaeresis
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? c : c + 1;
  }
  // Greek capitals, with the accented ones, and the final sigma.
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c == 0x3C2) return 0x3C3;
  // Cyrillic capitals.
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

}  // namespace

std::u32string ParameterFilter::Fold(std::string_view text) {
  std::u32string chars = ReadSingleByteText(text);
  for (char32_t& c : chars) c = FoldCase(c);
  return chars;
}

ParameterFilter::ParameterFilter(std::string_view text) : folded_(Fold(text)) {}

bool ParameterFilter::Finds(std::string_view text) const {
  if (folded_.empty()) return true;
  if (text.empty()) return false;
  return Fold(text).find(folded_) != std::u32string::npos;
}

bool ParameterFilter::Matches(const ParameterRecord& record) const {
  return Finds(FieldText(record.group)) || Finds(FieldText(record.name)) ||
         Finds(FieldText(record.description));
}

std::vector<ParameterFilter::Row> ParameterFilter::Apply(
    const ParameterDefinitions& definitions) const {
  std::vector<Row> rows;
  // The tree lists the records in table order, so one cursor finds each name's
  // record (a group that reappears later in the file is a row of its own).
  int cursor = 0;
  for (const auto& treeRow : definitions.TreeRows()) {
    Row row;
    row.group = treeRow.group;
    row.names = treeRow.names;
    row.groupMatched = Finds(row.group);
    for (const std::string_view name : row.names) {
      int record = -1;
      for (int i = cursor; i < definitions.parameterCount; ++i) {
        const ParameterRecord& r = definitions.Record(i);
        if (FieldText(r.group) == row.group && FieldText(r.name) == name) {
          record = i;
          cursor = i + 1;
          break;
        }
      }
      row.records.push_back(record);
      const bool shown = Empty() || row.groupMatched || Finds(name) ||
                         (record >= 0 && Finds(FieldText(definitions.Record(record).description)));
      row.namesShown.push_back(shown);
      row.shown = row.shown || shown;
    }
    row.shown = row.shown || row.groupMatched || Empty();
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace zendra
