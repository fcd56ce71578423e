// ports, at and info: the commands that need nothing beyond the serial link and
// the connect handshake.

#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli/CliContext.h"
#include "cli/ConfigSession.h"
#include "serial/PortList.h"

namespace zendra::cli {

namespace {

// The line as the module must receive it: CR LF appended unless it already ends
// in a line end.
std::string CommandLine(const std::string& line) {
  if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) return line;
  return line + "\r\n";
}

void Ports(CliContext& ctx) {
  PortList list;
  list.EnumeratePorts();
  if (ctx.options.json) {
    auto items = nlohmann::ordered_json::array();
    for (const auto& e : list.Entries()) items.push_back(e.name);
    std::cout << items.dump() << std::endl;
    return;
  }
  for (const auto& e : list.Entries()) std::cout << e.name << std::endl;
}

// `remote`: the address given with --remote (which may be given empty).
void At(CliContext& ctx, const std::string& line, const std::optional<std::string>& remote) {
  // One line goes out: a line end inside it would send what follows as a command
  // of its own.
  std::string_view body = line;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
  if (AtLink::HoldsControlByte(body)) {
    ctx.Fail(kExitUsage, "the command line holds a control character (such as a line end); "
                         "nothing was sent");
    return;
  }
  // An address that would break "AT+RC=ADDRESS,LINE" (a comma, a line end, nothing).
  if (remote && !ctx.CheckRemoteAddress(*remote)) return;
  if (!ctx.OpenPort()) return;
  auto& link = ctx.Line().Link();
  const std::string sent = CommandLine(line);
  const int timeout = ctx.options.timeout;
  std::string result = !remote ? link.QueryAtCommand(sent, timeout)
                               : link.QueryRemoteAtCommand(sent, timeout, *remote);
  // With echo on the module repeats the command first; the reply is what follows.
  const std::string echoed = !remote ? sent : AtLink::RemoteLine(sent, *remote).value_or(sent);
  const std::string text(AtLink::WithoutEcho(link.reply, echoed));
  const bool ok = text.find("OK") != std::string::npos;
  std::string status;
  if (ok) {
    status = "OK";
    result = AtLink::ReplyLine(text);
  } else if (text.find("ERROR") != std::string::npos) {
    status = "ERROR";
  } else if (result == "ENTER" || result == "START") {
    status = result;
  } else {
    status = "TIMEOUT";
  }
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["status"] = status;
    out["reply"] = ok ? result : "";
    out["received"] = link.reply;
    std::cout << Dump(out) << std::endl;
  } else if (ok) {
    std::cout << result << std::endl;
  } else {
    std::cout << status << std::endl;
  }
  ctx.exitCode = ok ? kExitOk : kExitFailed;
}

// The remote device as ticking "Remode Device Setting" identifies it: product,
// the EUI address it reports (which every later remote command uses) and version.
void RemoteInfo(CliContext& ctx, const ConfigOptions& options) {
  auto session = OpenConfigSession(ctx, options, Definitions::kNone);
  if (!session) return;
  const RemoteDeviceResult& r = *session->remoteDevice;
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["address"] = options.remote;
    out["productName"] = r.productName;
    out["euiAddress"] = r.euiAddress;
    out["firmwareVersion"] = r.version;
    out["definitionFile"] = *r.definitionFile;
    std::cout << Dump(out) << std::endl;
  } else {
    std::cout << "Product Name : " << r.productName << "\n"
              << "EUI address  : " << r.euiAddress << "\n"
              << "F/W Rev.     : " << r.version << std::endl;
  }
  ctx.exitCode = r.euiAddress != "ERROR" && r.version != "ERROR" ? kExitOk : kExitFailed;
}

void Info(CliContext& ctx, const ConfigOptions& options) {
  if (options.remoteGiven) {
    RemoteInfo(ctx, options);
    return;
  }
  if (!ctx.ConnectModule()) return;
  const DeviceInfo c = ctx.connection.Device();
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["productName"] = c.productName;
    out["euiAddress"] = c.euiAddress;
    out["nodeName"] = c.nodeName;
    out["firmwareVersion"] = c.firmwareVersion;
    out["nodeType"] = c.nodeType;
    out["sleepy"] = c.sleepy;
    std::cout << Dump(out) << std::endl;
  } else {
    std::cout << "Product Name : " << c.productName << "\n"
              << "EUI address  : " << c.euiAddress << "\n"
              << "Node Name    : " << c.nodeName << "\n"
              << "F/W Rev.     : " << c.firmwareVersion << "\n"
              << "Node type    : " << c.nodeType << (c.sleepy ? " (sleepy end device)" : "")
              << std::endl;
  }
  const bool answered = c.productName != "ERROR" && c.euiAddress != "ERROR" &&
                        c.firmwareVersion != "ERROR" && c.nodeName != "ERROR";
  ctx.exitCode = answered ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterBasicCommands(CLI::App& app, CliContext& ctx) {
  app.add_subcommand("ports", "List the serial ports found on this computer")
      ->callback([&ctx] { Ports(ctx); });

  auto* at = app.add_subcommand("at", "Send one command line to the module and print its reply line");
  auto line = std::make_shared<std::string>();
  auto remote = std::make_shared<std::string>();
  at->add_option("LINE", *line, "The command line, e.g. AT+VERSION (CR LF is appended)")->required();
  auto* remoteOption = at->add_option(
      "--remote", *remote, "Send it to the remote module with this EUI address (AT+RC=)");
  at->callback([&ctx, line, remote, remoteOption] {
    At(ctx, *line, remoteOption->count() > 0 ? std::optional<std::string>(*remote) : std::nullopt);
  });

  auto* info = app.add_subcommand(
      "info", "Connect to the local module and print its identification, or a remote one's");
  auto infoOptions = std::make_shared<ConfigOptions>();
  AddConfigOptions(info, *infoOptions, false);
  info->callback([&ctx, infoOptions] { Info(ctx, *infoOptions); });
}

}  // namespace zendra::cli
