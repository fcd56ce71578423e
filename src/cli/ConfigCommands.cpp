// params, get, set, factory-default and reboot: the Configuration page's work from
// a terminal. Each connects with the full handshake; params, get and set then load
// the definition file named after the module's product and version, exactly as
// the page does, and read or write through the same editor core. With --remote
// (not factory-default, which is the local module's) the command first identifies
// the remote device as the Remote Configuration box does and then works on it.

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "cli/ConfigSession.h"
#include "config/ChoiceList.h"
#include "config/ParameterAssignment.h"
#include "config/ParameterFilter.h"

namespace zendra::cli {

namespace {

std::string Path(const ParameterRecord& r) { return ParameterPath(r); }

const char* TypeWord(int type) {
  switch (type) {
    case ParameterRecord::kTypeDecimal:
      return "10";
    case ParameterRecord::kTypeHex:
      return "16";
    case ParameterRecord::kTypeString:
      return "String";
    case ParameterRecord::kTypeGet:
      return "Get";
    default:
      return "?";
  }
}

// A parameter the definition file does not have: where to look them up.
std::string UsageError(const std::string& error) {
  return error.rfind("unknown parameter", 0) == 0 ? error + " (see: zendra-cli params)" : error;
}

// The record a NAME argument stands for. nullopt after a usage message when there
// is none or more than one.
std::optional<int> Resolve(CliContext& ctx, const ParameterDefinitions& defs,
                           const std::string& arg) {
  const ParameterLookup lookup = FindParameter(defs, arg);
  if (lookup.record >= 0) return lookup.record;
  ctx.Fail(kExitUsage, UsageError(lookup.error));
  return std::nullopt;
}

nlohmann::ordered_json RecordJson(const ParameterRecord& r) {
  nlohmann::ordered_json o;
  o["name"] = std::string(r.name);
  o["type"] = r.type;
  o["command"] = std::string(r.command, 0, std::string(r.command).find('\r'));
  if (r.comboList[0]) o["choices"] = ChoiceList::Choices(r.comboList);
  if (r.valueList[0]) o["values"] = ChoiceList::Split(r.valueList);
  if (r.rangeMin[0]) {
    o["rangeMin"] = std::string(r.rangeMin);
    o["rangeMax"] = std::string(r.rangeMax);
  }
  o["description"] = std::string(r.description);
  return o;
}

void Params(CliContext& ctx, const ConfigOptions& options, const std::string& filterText) {
  auto session = OpenConfigSession(ctx, options, Definitions::kTable);
  if (!session) return;
  const ParameterDefinitions& defs = session->definitions;
  // The tree as the filter box shows it: the whole tree when no text is given.
  const ParameterFilter filter(filterText);

  auto groupsJson = nlohmann::ordered_json::array();
  for (const auto& row : filter.Apply(defs)) {
    if (!row.shown) continue;
    auto paramsJson = nlohmann::ordered_json::array();
    if (!ctx.options.json) std::cout << row.group << "\n";
    for (std::size_t k = 0; k < row.names.size(); ++k) {
      if (row.records[k] < 0 || !row.namesShown[k]) continue;
      const ParameterRecord* r = &defs.Record(row.records[k]);
      if (ctx.options.json) {
        paramsJson.push_back(RecordJson(*r));
        continue;
      }
      std::string line = "  " + std::string(row.names[k]);
      if (line.size() < 26) line.resize(26, ' ');
      line += std::string(TypeWord(r->type));
      if (line.size() < 34) line.resize(34, ' ');
      line += std::string(r->command, 0, std::string(r->command).find('\r'));
      if (r->comboList[0])
        line += "  " + std::string(r->comboList);
      else if (r->rangeMin[0])
        line += "  " + std::string(r->rangeMin) + " ~ " + r->rangeMax;
      std::cout << line << "\n";
    }
    if (ctx.options.json) {
      nlohmann::ordered_json group;
      group["group"] = std::string(row.group);
      group["parameters"] = std::move(paramsJson);
      groupsJson.push_back(std::move(group));
    }
  }
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["definitionFile"] = defs.definitionFileName;
    out["loadedFrom"] = session->loader.LoadedPath();
    if (!filter.Empty()) out["filter"] = filterText;
    if (session->remoteDevice) {
      out["remoteDevice"] = {{"productName", session->remoteDevice->productName},
                             {"euiAddress", session->remoteDevice->euiAddress},
                             {"firmwareVersion", session->remoteDevice->version}};
    }
    out["groups"] = std::move(groupsJson);
    std::cout << Dump(out) << std::endl;
  }
  std::cout << std::flush;
}

void Get(CliContext& ctx, const ConfigOptions& options, const std::string& arg) {
  auto session = OpenConfigSession(ctx, options, Definitions::kTable);
  if (!session) return;
  const auto index = Resolve(ctx, session->definitions, arg);
  if (!index) return;
  const ParameterRecord& r = session->definitions.Record(*index);
  const SelectionResult shown = session->editor.SelectRecord(ctx.Line(), *index);
  if (!shown.reply || *shown.reply == "ERROR") {
    // Not read (the entry has no command) or not answered: the editor has said which.
    ctx.exitCode = kExitFailed;
    return;
  }
  const std::string reply = *shown.reply;
  const bool choice = r.comboList[0] != '\0';
  std::string value = shown.valueText;
  if (choice)
    value = shown.choiceSelection
                ? shown.choiceItems[static_cast<std::size_t>(*shown.choiceSelection)]
                : "";
  if (ctx.options.json) {
    nlohmann::ordered_json o;
    o["parameter"] = Path(r);
    o["value"] = value;
    if (choice) {
      o["deviceValue"] = reply;
      o["choiceSelected"] = shown.choiceSelection.has_value();
    }
    o["readOnly"] = r.type == ParameterRecord::kTypeGet;
    if (!shown.rangeText.empty()) o["range"] = shown.rangeText;
    std::cout << Dump(o) << std::endl;
  } else if (choice) {
    std::cout << (shown.choiceSelection ? value : "(none of the choices)") << " (device value "
              << reply << ")" << std::endl;
  } else {
    std::cout << value << std::endl;
  }
  ctx.exitCode = kExitOk;
}

void Set(CliContext& ctx, const ConfigOptions& options, const std::string& text) {
  const auto assignment = SplitAssignment(text);
  if (!assignment) {
    ctx.Fail(kExitUsage, "set wants NAME=VALUE, e.g. set \"Node/Node name=N1\"");
    return;
  }
  auto session = OpenConfigSession(ctx, options, Definitions::kTable);
  if (!session) return;
  const Assignment resolved =
      ResolveAssignment(session->definitions, assignment->first, assignment->second);
  if (resolved.record < 0) {
    ctx.Fail(kExitUsage, UsageError(resolved.error));
    return;
  }
  switch (session->editor.SaveValue(ctx.Line(), resolved.record, resolved.value)) {
    case SaveResult::kSaved:
      ctx.exitCode = kExitOk;
      break;
    case SaveResult::kNotSaveable:
    case SaveResult::kNotAChoice:
    case SaveResult::kUnsafeValue:
    case SaveResult::kBrokenRule:
      ctx.exitCode = kExitUsage;
      break;
    case SaveResult::kRefused:
      ctx.exitCode = kExitFailed;
      break;
  }
}

void FactoryDefault(CliContext& ctx) {
  auto session = OpenConfigSession(ctx, {}, Definitions::kNone);
  if (!session) return;
  ctx.exitCode = session->editor.RestoreOrReboot(ctx.Line()) ? kExitOk : kExitFailed;
}

void Reboot(CliContext& ctx, const ConfigOptions& options) {
  if (options.remoteGiven) {
    // The remote device's restart: the page's 1004 captioned "Reboot".
    auto session = OpenConfigSession(ctx, options, Definitions::kNone);
    if (!session) return;
    ctx.exitCode = session->editor.RestoreOrReboot(ctx.Line()) ? kExitOk : kExitFailed;
    return;
  }
  if (!ctx.ConnectModule()) return;
  AtLink& link = ctx.Line().Link();
  link.WakeUpIfSleepy();
  if (!link.SendAtCommand("ATZ\r\n", 3)) {
    ctx.op.ShowMessage(ParameterEditor::kRestartFailedMessage);
    ctx.exitCode = kExitFailed;
    return;
  }
  ctx.exitCode = kExitOk;
}

}  // namespace

void RegisterConfigCommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<ConfigOptions>();
  auto addDefinitionsOption = [options](CLI::App* command) {
    AddConfigOptions(command, *options, true);
  };

  auto* params = app.add_subcommand(
      "params", "Connect, load the module's definition file and list its parameter tree");
  addDefinitionsOption(params);
  auto filter = std::make_shared<std::string>();
  params->add_option("--filter", *filter,
                     "List only the parameters whose group, name or description holds TEXT "
                     "(without regard to case), with their groups");
  params->callback([&ctx, options, filter] { Params(ctx, *options, *filter); });

  auto name = std::make_shared<std::string>();
  auto* get = app.add_subcommand("get", "Read one parameter from the module");
  get->add_option("NAME", *name, "\"Group/Name\" or the parameter name alone")->required();
  addDefinitionsOption(get);
  get->callback([&ctx, options, name] { Get(ctx, *options, *name); });

  auto assignment = std::make_shared<std::string>();
  auto* set = app.add_subcommand("set", "Write one parameter to the module");
  set->add_option("NAME=VALUE", *assignment,
                  "Parameter and value; a choice parameter takes a choice text or its device value")
      ->required();
  addDefinitionsOption(set);
  set->callback([&ctx, options, assignment] { Set(ctx, *options, *assignment); });

  app.add_subcommand("factory-default", "Restore the local module to its factory defaults (AT&f)")
      ->callback([&ctx] { FactoryDefault(ctx); });
  auto* reboot = app.add_subcommand("reboot", "Restart the local module (ATZ), or a remote one");
  AddConfigOptions(reboot, *options, false);
  reboot->callback([&ctx, options] { Reboot(ctx, *options); });
}

}  // namespace zendra::cli
