#pragma once
// The Firmware Update page's "Clone local firmware" box and what depends on it.
//
// A clone sends the local module's own firmware, so while the box is checked the
// file choice (Choose file, Download from web server, the file-location edit) is
// off. The "MC21X" cannot clone: whenever the local device is identified as one,
// a checked box is flipped back (which turns the file choice on again) and the box
// is disabled; any other product enables it.

namespace zendra {

class CloneRule {
 public:
  // Whether the file choice ("Choose file in local PC", "Download from web server",
  // the file location) is enabled for this state of the box. Unchecking
  // enables them even without a connection.
  static bool FileChoiceEnabled(bool cloneChecked) { return !cloneChecked; }

  struct ModelOutcome {
    bool flipClone;        // run SetCloneMode (the box was checked)
    bool cloneBoxEnabled;  // then enable or disable the box
  };
  static ModelOutcome ApplyModelRule(bool isMc21x, bool cloneChecked) {
    return {isMc21x && cloneChecked, !isMc21x};
  }
};

}  // namespace zendra
