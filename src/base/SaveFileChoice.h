#pragma once
// A save dialog with a default extension, whoever answers it.
//
// A name typed without an extension ("site1") stands for the name with the default
// extension ("site1.zgb"): that is the file that will be written, and the question
// to replace an existing file must be about it, asked before the dialog closes. The
// desktop's dialog adds the extension itself and asks. An operator whose dialog
// cannot hands back the name as typed; then the extension is added here and, when a
// file of the completed name exists, the replace question is asked here, the dialog
// opening again (on the completed name) when the answer is No.

#include <optional>
#include <string>
#include <string_view>

#include "base/Operator.h"

namespace zendra {

// `path` with "." + `extension` appended when its file name holds no "." (the file
// dialogs' rule: "site1" gets it, "site1.cfg" and ".hidden" do not); unchanged when
// `extension` is empty.
std::string WithDefaultExtension(std::string_view path, std::string_view extension);

// The question before the file at `path` is replaced: its file name, "already
// exists.", "Do you want to replace it?".
std::string ReplaceFileQuestion(std::string_view path);

// The save dialog with `defaultExtension`: the path of the file to write, with the
// extension, whose replacement the operator has agreed to when it exists; nullopt on
// cancel.
std::optional<std::string> ChooseFileToSaveWithExtension(Operator& op, const std::string& filter,
                                                         const std::string& suggestedName,
                                                         const std::string& defaultExtension);

}  // namespace zendra
