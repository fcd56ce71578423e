#include "config/ui/DefinitionText.h"

#include "base/SingleByteText.h"

namespace zendra {

QString DefinitionText(std::string_view text) {
  return QString::fromStdString(SingleByteTextAsUtf8(text));
}

}  // namespace zendra
