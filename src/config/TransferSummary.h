#pragma once
// The one line that tells the operator how an export or an import ended, for the
// Configuration page's status line: what was written or sent, how much failed, and
// where the error log is. A transfer that was stopped, or that ended before
// anything was read or sent (its message has been shown), has no summary.

#include <string>

#include "config/ConfigurationTransfer.h"

namespace zendra {

class TransferSummary {
 public:
  // "Exported 16 parameters to a.zgb." or "Exported 7 of 16 parameters to a.zgb; 9
  // could not be read (listed in /x/ExportErrorLog.TXT)."
  static std::string Export(const ExportResult& result, const std::string& path);
  // "Imported b.zgb: 12 values sent, 0 refused." with the refused ones' log, and the
  // values left out because the device held them already.
  static std::string Import(const ImportResult& result, const std::string& path);
};

}  // namespace zendra
