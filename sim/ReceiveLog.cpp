#include "ReceiveLog.h"


namespace zendra::sim {

namespace {

// The bytes as text a JSON string can hold whatever they are: each byte read as
// Latin-1, so that a garbled byte shows as the byte it was and nothing is lost.
std::string AsText(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      text.push_back(ch);
    } else {
      text.push_back(static_cast<char>(0xC0 | (c >> 6)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return text;
}

}  // namespace

void ReceiveLog::OpenFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  file_.open(path, std::ios::app | std::ios::binary);
}

void ReceiveLog::WriteFile(const nlohmann::ordered_json& entry) {
  if (!file_.is_open()) return;
  file_ << entry.dump() << '\n';
  file_.flush();
}

void ReceiveLog::AddLine(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    WriteFile({{"line", AsText(line)}});
  }
  changed_.notify_all();
}

void ReceiveLog::AddMissed(const std::string& line) {
  std::lock_guard lock(mutex_);
  missed_.push_back(line);
  WriteFile({{"missed", AsText(line)}});
}

void ReceiveLog::AddImage(std::vector<std::uint8_t> image) {
  std::lock_guard lock(mutex_);
  WriteFile({{"image", image.size()}});
  images_.push_back(std::move(image));
}

void ReceiveLog::AddRemoteImage(const std::string& euiAddress, std::vector<std::uint8_t> image) {
  std::lock_guard lock(mutex_);
  WriteFile({{"remoteImage", image.size()}, {"eui", AsText(euiAddress)}});
  remoteImages_.push_back(RemoteImage{euiAddress, std::move(image)});
}

void ReceiveLog::AddRefusedImage(const std::string& euiAddress, std::vector<std::uint8_t> image) {
  std::lock_guard lock(mutex_);
  WriteFile({{"refusedImage", image.size()}, {"eui", AsText(euiAddress)}});
  refusedImages_.push_back(RemoteImage{euiAddress, std::move(image)});
}

void ReceiveLog::AddGarbled(std::size_t count) {
  std::lock_guard lock(mutex_);
  garbled_ += count;
}

std::vector<std::string> ReceiveLog::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> ReceiveLog::Missed() const {
  std::lock_guard lock(mutex_);
  return missed_;
}

std::vector<std::vector<std::uint8_t>> ReceiveLog::Images() const {
  std::lock_guard lock(mutex_);
  return images_;
}

std::vector<RemoteImage> ReceiveLog::RefusedImages() const {
  std::lock_guard lock(mutex_);
  return refusedImages_;
}

std::vector<RemoteImage> ReceiveLog::RemoteImages() const {
  std::lock_guard lock(mutex_);
  return remoteImages_;
}

std::size_t ReceiveLog::Garbled() const {
  std::lock_guard lock(mutex_);
  return garbled_;
}

bool ReceiveLog::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  std::size_t checked = 0;
  return changed_.wait_for(lock, timeout, [&] {
    if (checked > lines_.size()) checked = 0;  // the log was cleared meanwhile
    for (; checked < lines_.size(); ++checked) {
      if (lines_[checked].find(text) != std::string::npos) return true;
    }
    return false;
  });
}

void ReceiveLog::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  missed_.clear();
  images_.clear();
  remoteImages_.clear();
  refusedImages_.clear();
  garbled_ = 0;
}

}  // namespace zendra::sim
