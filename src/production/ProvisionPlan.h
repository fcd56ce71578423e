#pragma once
// What every module of a production run gets, read and checked once before any
// module is touched: the image (its model, the version it makes, its SHA-256),
// the configuration file (its commands and SHA-256), the --set values and the line
// settings. A plan that cannot be made is a usage error: nothing is sent to any
// module, so that no module is left half-way by a run that could not finish.
//
// The version an image makes is given (--image-version) or read from its file name
// in the update server's form PRODUCT_VERSION.ebl ("MA11_v1.11.0.ebl": v1.11.0).
// Without either a module is always updated, as with --force.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/ConfigurationTransfer.h"
#include "device/LineSettings.h"

namespace zendra {

// What the operator asked for, as typed.
struct ProvisionRequest {
  LineSettings settings;  // baudRate 0: the rate that detection finds on each port
  std::string image;      // empty: no update
  std::optional<std::string> imageVersion;
  bool force = false;             // update even a module that runs the image's version
  bool fast = false;              // fast flashing (no pause after each acknowledged block)
  std::string config;             // the configuration file (.zgb); empty: none
  std::vector<std::string> sets;  // NAME=VALUE, written after the file
  bool yes = false;               // a configuration file of another firmware version is imported
  std::optional<std::string> definitionsFolder;      // the program's, unless given
  std::optional<std::string> userDefinitionsFolder;  // searched after it
};

struct ProvisionPlan {
  LineSettings settings;
  struct Image {
    std::string path;
    std::string model;                   // the model code it carries
    std::optional<std::string> version;  // the version it makes; nullopt: unknown
    bool force = false;
    bool fast = false;
    std::string sha256;
  };
  std::optional<Image> image;
  struct Config {
    std::string path;
    ImportPlan plan;
    std::string sha256;
  };
  std::optional<Config> config;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, VALUE
  bool acceptOtherVersion = false;
  std::optional<std::string> definitionsFolder;
  std::optional<std::string> userDefinitionsFolder;

  // Whether the modules' definition files are needed (to verify or to name
  // parameters).
  bool NeedsDefinitions() const { return config.has_value() || !sets.empty(); }
};

// The plan for `request`, or the reason it cannot be made (one line).
struct PlanCheck {
  std::optional<ProvisionPlan> plan;
  std::string error;
};
PlanCheck MakeProvisionPlan(const ProvisionRequest& request);

// The version in an image's file name of the form PRODUCT_VERSION.ebl (any case
// of ".ebl", any folder): the text between the first "_" and the extension;
// nullopt for any other name.
std::optional<std::string> VersionFromImageName(const std::string& path);

}  // namespace zendra
