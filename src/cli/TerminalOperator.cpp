#include "cli/TerminalOperator.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/Terminal.h"

namespace zendra::cli {

std::string TerminalBar(std::int64_t done, std::int64_t whole) {
  constexpr std::int64_t kWidth = 30;
  const std::int64_t filled =
      whole > 0 ? std::clamp<std::int64_t>(done, 0, whole) * kWidth / whole : 0;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '.');
  return "[" + bar + "]";
}

TerminalProgressLine::TerminalProgressLine(bool quiet)
    : tty_(IsTerminal(stderr)), quiet_(quiet) {}

void TerminalProgressLine::Redraw(const std::string& text) {
  if (!InPlace()) return;
  std::cerr << "\r" << text << std::flush;
  open_ = true;
}

void TerminalProgressLine::PrintLine(const std::string& text) {
  End();
  std::cerr << text << std::endl;
}

void TerminalProgressLine::End() {
  if (open_) std::cerr << std::endl;
  open_ = false;
}

namespace {
// Message texts carry CR LF line breaks; a terminal wants LF.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}
}  // namespace

void TerminalOperator::ShowMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  ++messages_;
  std::cerr << ForTerminal(text) << std::endl;
}

void TerminalOperator::ShowDetailedMessage(const std::string& text, const std::string& detail) {
  std::lock_guard lock(mutex_);
  ++messages_;
  std::cerr << ForTerminal(text) << std::endl;
  // What to do about it, on a line of its own.
  if (!detail.empty()) std::cerr << ForTerminal(detail) << std::endl;
}

bool TerminalOperator::AskYesNo(const std::string& text, const std::string& caption) {
  std::lock_guard lock(mutex_);
  // A caption the text already begins with ("WARNING: ...") is not said twice.
  const bool captionInText = !caption.empty() && text.rfind(caption, 0) == 0;
  const std::string question =
      (caption.empty() || captionInText ? "" : caption + ": ") + ForTerminal(text);
  if (answer_ != Answer::kAsk) {
    std::cerr << question << (answer_ == Answer::kYes ? " [yes]" : " [no]") << std::endl;
    return answer_ == Answer::kYes;
  }
  if (!IsTerminal(stdin)) {
    std::cerr << question << " [no: not a terminal; answer with --yes or --no]" << std::endl;
    return false;
  }
  for (;;) {
    std::cerr << question << " [y/n] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    if (line == "y" || line == "Y" || line == "yes") return true;
    if (line == "n" || line == "N" || line == "no") return false;
  }
}

std::optional<std::string> TerminalOperator::ChooseFileToOpen(const std::string&) {
  return std::nullopt;
}

std::optional<std::string> TerminalOperator::ChooseFileToSave(const std::string&,
                                                              const std::string&) {
  return std::nullopt;
}

void TerminalOperator::OpenDocument(const std::string& path) {
  std::lock_guard lock(mutex_);
  std::cerr << "See " << path << std::endl;
}

}  // namespace zendra::cli
