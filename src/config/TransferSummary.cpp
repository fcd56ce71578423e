#include "config/TransferSummary.h"

#include "base/WideText.h"

namespace zendra {

namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Where the log is, or that it could not be written (its message has been shown).
std::string LogNote(const std::string& logPath) {
  return logPath.empty() ? " (no error log could be written)" : " (listed in " + logPath + ")";
}

}  // namespace

std::string TransferSummary::Export(const ExportResult& result, const std::string& path) {
  if (result.outcome != ExportResult::Outcome::kDone) return {};
  if (result.failed.empty())
    return "Exported " +
           Count(static_cast<std::size_t>(result.exported), "parameter", "parameters") + " to " +
           Utf8FileName(path) + ".";
  return "Exported " + std::to_string(result.exported) + " of " +
         Count(static_cast<std::size_t>(result.total), "parameter", "parameters") + " to " +
         Utf8FileName(path) + "; " + std::to_string(result.failed.size()) + " could not be read" +
         LogNote(result.logPath) + ".";
}

std::string TransferSummary::Import(const ImportResult& result, const std::string& path) {
  if (result.outcome != ImportResult::Outcome::kDone) return {};
  std::string text = "Imported " + Utf8FileName(path) + ": " +
                     Count(static_cast<std::size_t>(result.sent), "value", "values") + " sent, " +
                     std::to_string(result.failed.size()) + " refused";
  if (!result.failed.empty()) text += LogNote(result.logPath);
  if (result.unchanged > 0)
    text += ", " + std::to_string(result.unchanged) + " already held by the device";
  return text + ".";
}

}  // namespace zendra
