#include "cli/TerminalProvisionView.h"

#include <nlohmann/json.hpp>

#include "cli/CliContext.h"
#include "cli/Terminal.h"

namespace zendra::cli {

namespace {

constexpr std::chrono::milliseconds kRedrawEvery{100};
constexpr std::size_t kEuiWidth = 16;

// Columns of the terminal on `out`; 80 when it does not say.
std::size_t TerminalWidth(std::FILE* out) {
  return TerminalColumns(out, 80);
}

// `text` cut to `width` characters (UTF-8: a character is its lead byte and the
// bytes that follow it), so that no line wraps and the block keeps its height.
std::string Cut(const std::string& text, std::size_t width) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++characters > width) return text.substr(0, i);
  }
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

}  // namespace

TerminalProvisionView::TerminalProvisionView(Mode mode, bool watch, std::FILE* out)
    : mode_(mode), watch_(watch), out_(out) {}

void TerminalProvisionView::AddPorts(const std::vector<std::string>& ports) {
  std::lock_guard lock(mutex_);
  for (const auto& port : ports) Line(port);
}

PortStatus& TerminalProvisionView::Line(const std::string& port) {
  for (auto& line : lines_)
    if (line.port == port) return line;
  lines_.push_back(PortStatus{port, {}, {}, std::nullopt, false});
  portWidth_ = std::max(portWidth_, port.size());
  return lines_.back();
}

std::string TerminalProvisionView::Text(const PortStatus& status) const {
  const std::string eui =
      status.euiAddress.empty() ? std::string(kEuiWidth, '-') : status.euiAddress;
  return Padded(status.port, portWidth_) + "  " + Padded(eui, kEuiWidth) + "  " +
         PortStatusText(status, watch_);
}

void TerminalProvisionView::Started(const std::string& port) {
  std::lock_guard lock(mutex_);
  PortStatus& line = Line(port);
  // A module plugged into a port again is a new run with a line of its own state.
  line = PortStatus{port, {}, {}, std::nullopt, false};
  Changed(line, true);
}

void TerminalProvisionView::Progress(const std::string& port, const ProvisionProgress& progress) {
  std::lock_guard lock(mutex_);
  PortStatus& line = Line(port);
  const bool stepChanged = line.progress.step != progress.step;
  line.progress = progress;
  // The end is told with the result, which follows at once.
  if (progress.step == ProvisionStep::kDone) return;
  Changed(line, stepChanged);
}

void TerminalProvisionView::Identified(const std::string& port, const DeviceInfo& device) {
  std::lock_guard lock(mutex_);
  PortStatus& line = Line(port);
  if (device.euiAddress.empty() || device.euiAddress == "ERROR") return;
  line.euiAddress = device.euiAddress;
  if (mode_ == Mode::kLive) Changed(line, true);
}

void TerminalProvisionView::Finished(const ProvisionResult& result) {
  std::lock_guard lock(mutex_);
  PortStatus& line = Line(result.port);
  line.result = result;
  if (!result.euiAddress.empty()) line.euiAddress = result.euiAddress;
  if (mode_ == Mode::kJson) {
    std::fprintf(out_, "%s\n", JsonLine(result).c_str());
    std::fflush(out_);
    return;
  }
  Changed(line, true);
}

void TerminalProvisionView::Unplugged(const std::string& port) {
  std::lock_guard lock(mutex_);
  PortStatus& line = Line(port);
  line.unplugged = true;
  if (mode_ == Mode::kLive) {
    Changed(line, true);
  } else if (mode_ == Mode::kLines) {
    std::fprintf(out_, "%s  unplugged\n", Padded(port, portWidth_).c_str());
    std::fflush(out_);
  }
}

void TerminalProvisionView::Changed(const PortStatus& status, bool stepChanged) {
  switch (mode_) {
    case Mode::kJson:
      return;
    case Mode::kLines:
      // A line when a port moves on; not for every block or parameter.
      if (stepChanged) {
        std::fprintf(out_, "%s\n", Text(status).c_str());
        std::fflush(out_);
      }
      return;
    case Mode::kLive:
      if (stepChanged || std::chrono::steady_clock::now() - lastDraw_ >= kRedrawEvery) Redraw();
      return;
  }
}

void TerminalProvisionView::Redraw() {
  lastDraw_ = std::chrono::steady_clock::now();
  const std::size_t width = TerminalWidth(out_);
  std::string block;
  // Back to the first line of the block, then every line over what it showed.
  if (drawn_ > 0) block += "\x1b[" + std::to_string(drawn_) + "F";
  for (const auto& line : lines_) block += Cut(Text(line), width - 1) + "\x1b[K\n";
  drawn_ = lines_.size();
  std::fputs(block.c_str(), out_);
  std::fflush(out_);
}

void TerminalProvisionView::Flush() {
  std::lock_guard lock(mutex_);
  if (mode_ == Mode::kLive) Redraw();
}

void TerminalProvisionView::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fflush(out_);
  std::fprintf(stderr, "zendra-cli: %s\n", text.c_str());
  std::fflush(stderr);
  drawn_ = 0;
}

std::string TerminalProvisionView::JsonLine(const ProvisionResult& r) {
  nlohmann::ordered_json o;
  o["port"] = r.port;
  o["euiAddress"] = r.euiAddress;
  o["product"] = r.product;
  o["firmwareBefore"] = r.firmwareBefore;
  o["firmwareAfter"] = r.firmwareAfter;
  o["outcome"] = OutcomeName(r.outcome);
  o["failedStep"] =
      r.failedStep ? nlohmann::ordered_json(StepName(*r.failedStep)) : nlohmann::ordered_json();
  o["message"] = r.message;
  o["seconds"] = static_cast<double>(static_cast<long long>(r.seconds * 10 + 0.5)) / 10;
  return Dump(o);
}

}  // namespace zendra::cli
