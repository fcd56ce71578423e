#pragma once
// A private-profile (INI) text file, read and written with the rules of the Windows
// profile functions, so that configuration files (.zgb) written by the Windows tool
// read here and ours read there.
//
// Reading. A line whose first non-blank character is "[" and that holds a "]" opens a
// section; its name is the text between the "[" and the last "]". A line with "=" is a
// key: the key is the text before the first "=", the value all text after it (so
// "Command=AT+X=1" has the value "AT+X=1"). Names and values lose the spaces and tabs
// around them; a value enclosed in a pair of matching quotes (" or ') loses the pair.
// Section and key names are compared without regard to case (ASCII letters). Empty
// lines and lines without "=" are ignored; lines end in CR LF or LF. Of two equal keys
// in a section the first counts, and of two equal sections only the first is searched
// (a key that exists only in a later section of the same name is not found) — this is
// how the platform's reader behaves, and the writer keeps to the same section and key.
// A value is read through a buffer, as the platform's callers do: at most size - 1
// characters (63 for the usual 64 bytes), the rest cut off, and the default text
// (trailing spaces removed) when the key is missing; it ends at a NUL byte, as the
// text in a caller's buffer does. `Lookup` is the uncut read for callers that must
// never see a shortened value: it keeps a NUL byte and what follows it, so that a
// value that holds one can be told from the shorter value before it.
//
// Writing. `SetString` replaces the value of an existing key in its line (the key's
// spelling and the line's own line end stay), appends a new key after the last
// non-empty line of its section, and appends a new section at the end of the
// document; new lines end in CR LF. A value is written as it is: one that ends in
// CR LF (the exporter's "Command" values) leaves an empty line after its key line,
// which the reader skips. Names holding a line end, a "=" (keys) or a "]" followed by
// further text cannot be read back, as with the platform's writer; values read back
// as written unless they carry a line end, blanks at either end or enclosing quotes.
//
// The document is kept in memory and saved whole (`Save`): a temporary file in the
// same folder is written, flushed to the disk and renamed over the target, so a
// failure never leaves a half-written file where a good one stood. Unlike the
// platform's writer, which rewrites the file on every key, nothing reaches the disk
// before `Save`.
//
// Decisions for files that are not what the writer made:
// - Text before the first section header belongs to no section: no look-up finds a
//   key there (not even with an empty section name, which means a "[]" header), and it
//   is kept unchanged on saving; new keys never go there.
// - Duplicate sections and keys are kept in the document as they are; reads and
//   writes use the first section and, in it, the first key of the name.
// - A line beginning with "[" without a "]" is ignored (it neither opens a section nor
//   holds a key), and so is a comment line unless it holds a "=": ";" has no meaning.
// - A file that is not a profile file at all (binary data, no "=" lines, a UTF-16
//   file) reads as an empty document: every look-up gives the default, which the
//   importer reports as an invalid configuration file. A UTF-8 byte order mark at the
//   start is skipped, so a file saved by an editor that adds one still reads.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zendra {

class ProfileFile {
 public:
  // The buffer size of the platform's readers in this program: 63 characters at most.
  static constexpr std::size_t kDefaultBufferSize = 64;

  // An empty document: what a file created empty holds.
  ProfileFile() = default;
  // A document holding `text` as a file would.
  explicit ProfileFile(std::string text) : text_(std::move(text)) {}

  // Reads the regular file `path` whole. false when it cannot be read; the document
  // is then empty, so every read gives its default (a missing file reads that way).
  bool Load(const std::string& path);

  // Writes the document to `path` through a temporary file renamed over it; an
  // existing file keeps its permissions, a symbolic link keeps pointing at the file it
  // names. false when anything fails, and then `path` is as it was.
  bool Save(const std::string& path) const;

  // The value of `key` in `section` as the platform reads it through a buffer of
  // `bufferSize` bytes: at most bufferSize - 1 characters; `defaultText` without its
  // trailing spaces (and cut the same way) when there is no such key.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultText = {},
                        std::size_t bufferSize = kDefaultBufferSize) const;

  // The whole value of `key` in `section` (NUL bytes included), or nullopt when there
  // is no such key.
  std::optional<std::string> Lookup(std::string_view section, std::string_view key) const;

  // The number of section header lines (duplicates included): no document holds
  // more sections than this.
  std::size_t SectionCount() const;
  // Whether a section of this name (compared as look-ups compare it) has a header.
  bool HasSection(std::string_view section) const;

  // Sets `key` in `section` to `value` (see Writing above).
  void SetString(std::string_view section, std::string_view key, std::string_view value);

  // The document's bytes, as `Save` writes them.
  const std::string& Text() const { return text_; }

 private:
  // Where a key is, or would go, in the document.
  struct Place {
    bool sectionFound = false;
    bool keyFound = false;
    // With keyFound: the text after the key's "=" up to its line end.
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    // With sectionFound: where a new key line goes, and whether the line before it
    // lacks a line end (the last line of the document).
    std::size_t insertAt = 0;
    bool needsLineEnd = false;
  };

  Place Find(std::string_view section, std::string_view key) const;

  std::string text_;
};

}  // namespace zendra
