#pragma once
// The filter box above the parameter tree and `zendra-cli params --filter`: which
// groups and parameters of the tree show while the operator looks for a text.
//
// A parameter shows when its group, its name or its description holds the text,
// without regard to case; it shows under its group. A group whose name holds the
// text shows with all its parameters. An empty text shows the whole tree. The text
// is taken literally (blanks included): there are no wildcards.
//
// The definition files are single-byte text: files written on Linux are UTF-8,
// files from the Windows tool are in its code page. A text is read as UTF-8 when it
// is valid UTF-8 and as Latin-1 otherwise (as the windows show it), and compared as
// characters: "ä" typed matches "Ä" in either kind of file. Case is folded for the
// Latin letters (ASCII, Latin-1, Latin Extended-A), Greek and Cyrillic, which covers
// what the files hold; other characters compare as they are.
//
// The result follows the tree's rows (ParameterDefinitions::TreeRows), so the page
// can hide the items it already has instead of building a second tree, and every
// parameter of a row is tied to its record (the description lives there).

#include <string>
#include <string_view>
#include <vector>

#include "config/ParameterDefinitions.h"

namespace zendra {

class ParameterFilter {
 public:
  // `text` as typed (UTF-8) or as read from a file.
  explicit ParameterFilter(std::string_view text);

  // Nothing typed: everything shows.
  bool Empty() const { return folded_.empty(); }

  // Whether `text` holds the filter's text, without regard to case.
  bool Finds(std::string_view text) const;
  // Whether the record's group, name or description holds it.
  bool Matches(const ParameterRecord& record) const;

  // One row of the tree (a group and its parameters) as the filter shows it.
  struct Row {
    std::string_view group;
    std::vector<std::string_view> names;
    // The record of each name (-1 when the table holds none for it).
    std::vector<int> records;
    std::vector<bool> namesShown;
    bool groupMatched = false;
    bool shown = false;  // the group shows: its name matched, or a parameter did
  };
  // Every row of the tree, in the tree's order, with what of it shows.
  std::vector<Row> Apply(const ParameterDefinitions& definitions) const;

  // The text as characters with their case folded (exposed for the tests).
  static std::u32string Fold(std::string_view text);

 private:
  std::u32string folded_;
};

}  // namespace zendra
