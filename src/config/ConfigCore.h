#pragma once
// The Configuration page's core in one piece: the definitions of the targeted
// device, the page's state, and the parts that read, write, switch to a remote
// device and export or import, all working on those two.

#include "config/ConfigPageState.h"
#include "config/ConfigurationTransfer.h"
#include "config/DefinitionLoader.h"
#include "config/ParameterDefinitions.h"
#include "config/ParameterEditor.h"
#include "config/RemoteConfiguration.h"

namespace zendra {

struct ConfigCore {
  explicit ConfigCore(Connection& c)
      : loader(c, definitions, state),
        editor(c, definitions, state),
        remote(c, state),
        transfer(c, definitions, state) {}
  ParameterDefinitions definitions;
  ConfigPageState state;
  DefinitionLoader loader;
  ParameterEditor editor;
  RemoteConfiguration remote;
  ConfigurationTransfer transfer;
};

}  // namespace zendra
