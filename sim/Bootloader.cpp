#include "Bootloader.h"

#include <algorithm>

namespace zendra::sim {

namespace {

constexpr std::uint8_t kEtx = 0x03;

bool IsVersionChar(std::uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

std::string VersionInImage(const std::vector<std::uint8_t>& image) {
  static constexpr char kKey[] = "VERSION=";
  constexpr std::size_t kKeyLength = sizeof kKey - 1;
  auto it = std::search(image.begin(), image.end(), kKey, kKey + kKeyLength);
  std::string version;
  if (it == image.end()) return version;
  for (it += kKeyLength; it != image.end() && IsVersionChar(*it); ++it)
    version += static_cast<char>(*it);
  return version;
}

bool IsEblImage(const std::vector<std::uint8_t>& image) {
  static constexpr std::uint8_t kHeader[] = {'E', 'B', 'L', 0};
  return image.size() >= sizeof kHeader &&
         std::equal(std::begin(kHeader), std::end(kHeader), image.begin());
}

void Bootloader::SetFaults(const Faults& faults) {
  faults_ = faults;
  XmodemReceiver::Settings settings;
  settings.refuseBlock = faults.refuseBlock;
  settings.refuseTimes = faults.refuseTimes;
  settings.refuseWith = faults.refuseWith;
  settings.silentAfterBlock = faults.silentAfterBlock;
  settings.neverSendC = faults.neverSendC;
  settings.eotAnswer = faults.eotAnswer;
  settings.blockSettleMs = faults.blockSettleMs;
  // ETX is the menu's key: between blocks it cancels an upload too.
  settings.etxCancels = true;
  receiver_.SetSettings(settings);
}

void Bootloader::Enter() {
  receiver_.Reset();
  pending_.clear();
  lastWasCr_ = false;
}

void Bootloader::OnByte(std::uint8_t byte, TimePoint at, Output& out) {
  if (receiver_.Active()) {
    XmodemReceiver::Step step;
    receiver_.OnByte(byte, at, step);
    Take(step, out);
    return;
  }
  MenuByte(byte, at, out);
}

void Bootloader::Take(XmodemReceiver::Step& step, Output& out) {
  out.text += step.text;
  for (auto& entry : step.entries) out.entries.push_back(std::move(entry));
  switch (step.ending) {
    case XmodemReceiver::Ending::None:
      return;
    case XmodemReceiver::Ending::Completed:
      out.image = std::move(step.image);
      if (!IsEblImage(out.image)) {
        // Written over the application, then found to be no image: nothing runs now.
        out.imageRefused = true;
        damaged_ = true;
        out.text += kUploadRefused;
        break;
      }
      out.imageComplete = true;
      damaged_ = false;
      if (!faults_.noCompletionText) out.text += kUploadComplete;
      break;
    case XmodemReceiver::Ending::Cancelled:
      out.text += kUploadAborted;
      break;
    case XmodemReceiver::Ending::NoUpload:
    case XmodemReceiver::Ending::TimedOut:
      out.text += "\r\nno upload\r\n";
      break;
  }
  out.text += kBootloaderMenu;
  lastWasCr_ = false;
}

void Bootloader::MenuByte(std::uint8_t byte, TimePoint at, Output& out) {
  pending_ += static_cast<char>(byte);
  bool acts = byte == kEtx || byte == '\n' || byte == '1' || byte == '2' || byte == '3';
  if (acts || pending_.size() >= 256) {
    out.entries.push_back(std::move(pending_));
    pending_.clear();
  }
  bool afterCr = lastWasCr_;
  lastWasCr_ = byte == '\r';
  switch (byte) {
    case kEtx:
    case '\r':
      out.text += kBootloaderMenu;
      break;
    case '\n':
      if (!afterCr) out.text += kBootloaderMenu;
      break;
    case '1': {
      out.text += kBeginUpload;
      XmodemReceiver::Step step;
      receiver_.Begin(at, step);
      Take(step, out);
      break;
    }
    case '2':
      if (damaged_) {
        out.text += kBootloaderMenu;
      } else {
        out.runApplication = true;
      }
      break;
    case '3':
      out.text += "\r\nebl info: v" + version_ + "\r\nBL > ";
      break;
    default:
      break;
  }
}

void Bootloader::OnTime(TimePoint now, Output& out) {
  XmodemReceiver::Step step;
  receiver_.OnTime(now, step);
  Take(step, out);
}

std::optional<Bootloader::TimePoint> Bootloader::NextDeadline() const {
  return receiver_.NextDeadline();
}

}  // namespace zendra::sim
