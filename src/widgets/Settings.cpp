#include "widgets/Settings.h"

#include <cctype>

namespace zendra {

std::unique_ptr<QSettings> OpenSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QStringLiteral("Zendra"), QStringLiteral("Zendra Manager"));
}

QString FolderKey(const std::string& filter) {
  // The patterns follow the first description: "desc|*.ebl;*.bin|...".
  const std::size_t bar = filter.find('|');
  std::string patterns = bar == std::string::npos ? std::string() : filter.substr(bar + 1);
  patterns = patterns.substr(0, patterns.find_first_of("|;"));
  const std::size_t dot = patterns.rfind('.');
  std::string kind;
  if (dot != std::string::npos) {
    for (char c : patterns.substr(dot + 1))
      if (std::isalnum(static_cast<unsigned char>(c))) kind += static_cast<char>(std::tolower(c));
  }
  if (kind.empty()) kind = "any";
  return QStringLiteral("folders/") + QString::fromStdString(kind);
}

}  // namespace zendra
