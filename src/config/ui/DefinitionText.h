#pragma once
// How the windows show a text of a definition file, a configuration file or the
// module's replies. These are single-byte texts: files written on Linux are UTF-8,
// files from the Windows tool are in its code page, for which Latin-1 is the
// closest reading and never fails. The rule is base/SingleByteText's, which the
// core (ParameterFilter, the command line's JSON) reads them by too.

#include <QString>
#include <string_view>

namespace zendra {

QString DefinitionText(std::string_view text);

}  // namespace zendra
