#include "cli/ConfigSession.h"

#include "cli/TerminalDownloads.h"

namespace zendra::cli {

void AddConfigOptions(CLI::App* command, ConfigOptions& options, bool withDefinitions) {
  command
      ->add_option("--remote", options.remote,
                   "Work on the remote module with this address, reached through the local one "
                   "(AT+RC=); it is identified first and then addressed by the EUI address it "
                   "reports")
      ->each([&options](const std::string&) { options.remoteGiven = true; });
  if (withDefinitions)
    command->add_option("--definitions", options.definitionsDir,
                        "Folder of the definition files (default: the program's folder)");
}

std::unique_ptr<ConfigSession> OpenConfigSession(CliContext& ctx, const ConfigOptions& options,
                                                 Definitions definitions) {
  // An address that cannot be sent is refused before the port is opened.
  if (options.remoteGiven && !ctx.CheckRemoteAddress(options.remote)) return nullptr;
  if (!ctx.ConnectModule()) return nullptr;
  auto session = std::make_unique<ConfigSession>(ctx.connection);
  InstallConfigUpdates(ctx, session->loader);
  std::string fileName = ctx.connection.DefinitionFileName();
  if (options.remoteGiven) {
    RemoteDeviceResult r = session->remote.EnterRemoteDevice(ctx.Line(), options.remote);
    if (r.outcome != RemoteDeviceResult::Outcome::kRemote) {
      // The identification has shown its message.
      ctx.exitCode =
          r.outcome == RemoteDeviceResult::Outcome::kInvalidAddress ? kExitUsage : kExitFailed;
      return nullptr;
    }
    fileName = *r.definitionFile;
    session->remoteDevice = std::move(r);
  }
  if (definitions == Definitions::kNone) return session;
  if (definitions == Definitions::kNameOnly) {
    session->definitions.definitionFileName = fileName;
    return session;
  }
  if (!options.definitionsDir.empty()) session->loader.SetProgramFolder(options.definitionsDir);
  session->loader.LoadParameterFile(LoadMode::kLoad, fileName);
  if (session->definitions.parameterCount == 0) {
    const std::string& read = session->loader.LoadedPath();
    ctx.Fail(kExitFailed, read.empty()
                              ? "no parameters: no definition file for " + fileName
                              : "no parameters: the definition file " + read + " holds none");
    return nullptr;
  }
  return session;
}

}  // namespace zendra::cli
