#include "production/ProvisionPlan.h"

#include <cctype>
#include <filesystem>

#include "base/Sha256.h"
#include "config/ParameterAssignment.h"
#include "firmware/ImageCheck.h"
#include "firmware/MenuBootloader.h"
#include "serial/AtLink.h"
#include "serial/SerialPort.h"

namespace zendra {

namespace {
constexpr int kBootloaderBaud = MenuBootloader::kBaudRate;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

std::optional<std::string> VersionFromImageName(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.size() < 4 || Lower(name.substr(name.size() - 4)) != ".ebl") return std::nullopt;
  const std::string stem = name.substr(0, name.size() - 4);
  const std::size_t underscore = stem.find('_');
  if (underscore == std::string::npos || underscore == 0 || underscore + 1 == stem.size())
    return std::nullopt;
  return stem.substr(underscore + 1);
}

PlanCheck MakeProvisionPlan(const ProvisionRequest& request) {
  PlanCheck check;
  ProvisionPlan plan;
  plan.settings = request.settings;
  plan.acceptOtherVersion = request.yes;
  plan.definitionsFolder = request.definitionsFolder;
  plan.userDefinitionsFolder = request.userDefinitionsFolder;
  const auto refuse = [&check](std::string error) {
    check.error = std::move(error);
    return check;
  };

  if (!request.image.empty()) {
    // The bootloader talks at 115200 without flow control: a line set otherwise
    // for every port would refuse every update.
    if (request.settings.baudRate != 0 && request.settings.baudRate != kBootloaderBaud)
      return refuse(
          "an update needs the line at 115200 baud (the bootloader's rate): give "
          "--baud 115200, or no --baud to use the rate each module answers at");
    if (request.settings.flowControl != SerialPort::kFlowNone)
      return refuse("an update needs the line without flow control: give --flow none");
    ProvisionPlan::Image image;
    image.path = request.image;
    const auto model = FindImageModel(request.image);
    if (!model) return refuse("the image " + request.image + " cannot be read");
    if (model->empty())
      return refuse("the image " + request.image +
                    " carries none of the known model codes: it is no firmware image");
    // Text that mentions a model code is no image: flashed, it would erase the
    // modules' firmware.
    if (IsTextFile(request.image))
      return refuse(std::string(kTextImageMessage) + " (" + request.image + ")");
    image.model = *model;
    image.version = request.imageVersion ? request.imageVersion : VersionFromImageName(image.path);
    if (image.version && (image.version->empty() || AtLink::HoldsControlByte(*image.version)))
      return refuse("--image-version: not a version a module reports");
    image.force = request.force;
    image.fast = request.fast;
    const auto sha = Sha256::OfFile(request.image);
    if (!sha) return refuse("the image " + request.image + " cannot be read");
    image.sha256 = *sha;
    plan.image = std::move(image);
  } else if (request.imageVersion || request.force) {
    return refuse(std::string(request.force ? "--force" : "--image-version") +
                  " goes with --image");
  }

  if (!request.config.empty()) {
    ProvisionPlan::Config config;
    config.path = request.config;
    config.plan = ConfigurationTransfer::LoadImportFile(request.config);
    if (config.plan.version.empty())
      return refuse(std::string(ConfigurationTransfer::kInvalidFileMessage) + " (" +
                    request.config + ")");
    const auto sha = Sha256::OfFile(request.config);
    if (!sha) return refuse("the configuration file " + request.config + " cannot be read");
    config.sha256 = *sha;
    // The image makes the modules run a known version: a file exported from
    // another version is refused now, not once the modules have been flashed.
    if (plan.image && plan.image->version && !request.yes) {
      const std::string made = plan.image->model + "_" + *plan.image->version + ".zmcon";
      if (config.plan.version != made)
        return refuse("the configuration file " + request.config + " is for " +
                      config.plan.version + ", but the image makes the modules " + made +
                      " (--yes imports it all the same)");
    }
    plan.config = std::move(config);
  }

  for (const std::string& text : request.sets) {
    const auto assignment = SplitAssignment(text);
    if (!assignment) return refuse("--set wants NAME=VALUE, not \"" + text + "\"");
    // A line end would send the rest as a command of its own.
    if (AtLink::HoldsControlByte(assignment->second))
      return refuse("--set " + assignment->first +
                    ": the value holds a control character (such as a line end)");
    plan.sets.push_back(*assignment);
  }
  check.plan = std::move(plan);
  return check;
}

}  // namespace zendra
