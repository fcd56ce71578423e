#include "webupdate/ui/UpdateServerSetting.h"

#include <mutex>

#include "widgets/Settings.h"

namespace zendra {

namespace {
std::mutex thisRunMutex;
std::optional<std::string> thisRun;
}  // namespace

std::optional<std::string> UpdateServerSetting::Stored() {
  const QVariant value = OpenSettings()->value(QString::fromLatin1(kKey));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void UpdateServerSetting::Store(const std::string& value) {
  const auto settings = OpenSettings();
  if (value.empty())
    settings->remove(QString::fromLatin1(kKey));
  else
    settings->setValue(QString::fromLatin1(kKey), QString::fromStdString(value));
}

void UpdateServerSetting::SetForThisRun(std::optional<std::string> value) {
  std::lock_guard lock(thisRunMutex);
  thisRun = std::move(value);
}

std::optional<std::string> UpdateServerSetting::ForThisRun() {
  std::lock_guard lock(thisRunMutex);
  return thisRun;
}

UpdateServerUrl::Choice UpdateServerSetting::Current() {
  return UpdateServerUrl::Choose(ForThisRun(), Stored());
}

}  // namespace zendra
