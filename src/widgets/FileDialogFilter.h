#pragma once
// File dialog filters are written in the "description|patterns|...|" form
// ("ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|"). The desktop's dialogs want
// "description (patterns)" entries separated by ";;", and on Linux "*.*" would
// hide every file without a dot, so it becomes "*".

#include <string>
#include <string_view>

namespace zendra {

class FileDialogFilter {
 public:
  static std::string ToDesktopFilter(std::string_view pipeFilter);
};

}  // namespace zendra
