#pragma once
// The parameter table of the Configuration page: what the last definition file
// load left for the tree, the editor, saving and export to work on. Nothing here
// touches a file, the port or the operator; DefinitionLoader does the file side,
// so that the parser can also be driven from memory (tests, fuzzing, benchmarks).
//
// A definition file is single-byte text without a notion of lines. An entry starts
// at "[" and reads
//     [group/name]type;[Combo_list = ...;[Value_list = ...;]][Range = min;Max = max;]
//     Help: <description>;Command = AT+...;
// where keys are found anywhere in a field, case-sensitively, and a keyed field's
// value starts two characters after its first "=" (the "=" and one blank) and
// runs to the field's ";". Text outside entries is comment. The command field is
// not consumed: the next "[" is searched from its start.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/ParameterNameTable.h"
#include "config/ParameterRecord.h"

namespace zendra {

class ParameterDefinitions {
 public:
  static constexpr int kMaxRecords = 1000;
  static constexpr std::size_t kMaxFileBytes = 65536;
  static constexpr int kMaxTreeRows = ParameterNameTable::kRows;
  // The text row 0 of the tree shows when no definition file could be read.
  static constexpr const char* kReadFailText = "CONSTRUCT FILE READ FAIL";
  static constexpr const char* kSecurityGroup = "Security Settings";

  ParameterDefinitions();

  // Zero-fills all records (the first step of every load).
  void ZeroFill();

  // Parses definition file bytes: zero-fills, takes at most kMaxFileBytes bytes and
  // of those the text before the first NUL, and fills the records, parameterCount
  // and groupCount. With `remoteMode` the "Security Settings" group is not stored.
  void ParseDefinitionText(std::string_view bytes, bool remoteMode);

  // Fills the name table from the records (left as it is when there is no record).
  void BuildNameTable();

  // The state after no definition file could be read: an empty table, and one tree
  // row that shows kReadFailText.
  void SetReadFailure();

  // Empties the name table (the tree part of clearing the page).
  void ClearNameTable() { nameTable.Clear(); }

  // What the tree shows: rows 0 .. groupCount-1 (at most kMaxTreeRows) that have a
  // group, each as its group text and its parameter names up to the empty entry.
  struct TreeRow {
    std::string_view group;
    std::vector<std::string_view> names;
  };
  std::vector<TreeRow> TreeRows() const;

  const ParameterRecord& Record(int index) const { return records_[index]; }
  // nullptr unless 0 <= index < parameterCount.
  const ParameterRecord* Find(int index) const;

  int parameterCount = 0;
  int groupCount = 0;
  // The file name asked for by the last load (not a fallback file's name).
  std::string definitionFileName;
  ParameterNameTable nameTable;

  // Entries of the last parse that were not stored because a text that decides
  // what is sent to the module did not fit (docs/config-limits.md).
  int rejectedEntries = 0;

 private:
  void Parse(std::string_view text, bool remoteMode);

  std::unique_ptr<ParameterRecord[]> records_;
};

}  // namespace zendra
