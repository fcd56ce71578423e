#include "base/SaveFileChoice.h"

#include <filesystem>

#include "base/WideText.h"

namespace zendra {

std::string WithDefaultExtension(std::string_view path, std::string_view extension) {
  std::string completed(path);
  const std::string name = Utf8FileName(path);
  if (!extension.empty() && !name.empty() && name.find('.') == std::string::npos)
    completed.append(".").append(extension);
  return completed;
}

std::string ReplaceFileQuestion(std::string_view path) {
  return Utf8FileName(path) + " already exists.\r\nDo you want to replace it?";
}

std::optional<std::string> ChooseFileToSaveWithExtension(Operator& op, const std::string& filter,
                                                         const std::string& suggestedName,
                                                         const std::string& defaultExtension) {
  std::string suggested = suggestedName;
  for (;;) {
    std::optional<std::string> chosen =
        op.ChooseFileToSaveWithExtension(filter, suggested, defaultExtension);
    if (!chosen || chosen->empty()) return std::nullopt;
    const std::string completed = WithDefaultExtension(*chosen, defaultExtension);
    // The name as the dialog gave it: the dialog has asked about it.
    if (completed == *chosen) return chosen;
    std::error_code ec;
    if (!std::filesystem::exists(PathFromUtf8(completed), ec) ||
        op.AskYesNo(ReplaceFileQuestion(completed)))
      return completed;
    suggested = completed;
  }
}

}  // namespace zendra
