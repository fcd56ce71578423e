#include "ReceiveLog.h"

#include <cstdio>

namespace zendra::sim {

std::string Escaped(const std::string& bytes) {
  std::string out;
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += ch;
        }
    }
  }
  return out;
}

void ReceiveLog::OpenFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  file_.open(path, std::ios::app | std::ios::binary);
}

void ReceiveLog::WriteFile(const char* prefix, const std::string& text) {
  if (!file_.is_open()) return;
  file_ << prefix << Escaped(text) << '\n';
  file_.flush();
}

void ReceiveLog::AddLine(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    WriteFile("", line);
  }
  changed_.notify_all();
}

void ReceiveLog::AddMissed(const std::string& line) {
  std::lock_guard lock(mutex_);
  missed_.push_back(line);
  WriteFile("missed: ", line);
}

void ReceiveLog::AddImage(std::vector<std::uint8_t> image) {
  std::lock_guard lock(mutex_);
  if (file_.is_open()) {
    file_ << "image: " << image.size() << " bytes\n";
    file_.flush();
  }
  images_.push_back(std::move(image));
}

void ReceiveLog::AddRemoteImage(const std::string& euiAddress, std::vector<std::uint8_t> image) {
  std::lock_guard lock(mutex_);
  if (file_.is_open()) {
    file_ << "remote image " << euiAddress << ": " << image.size() << " bytes\n";
    file_.flush();
  }
  remoteImages_.push_back(RemoteImage{euiAddress, std::move(image)});
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
  garbled_ = 0;
}

}  // namespace zendra::sim
