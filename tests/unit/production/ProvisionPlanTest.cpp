// The plan of a production run, made before any module is touched: the version an
// image makes, and every input that refuses the run as a whole.

#include <gmock/gmock.h>

#include <string>

#include "base/Sha256.h"
#include "production/ProvisionPlan.h"
#include "serial/SerialPort.h"
#include "support/FirmwareImageFile.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;

TEST(VersionFromImageName, ReadsTheUpdateServersNamesOnly) {
  EXPECT_EQ(VersionFromImageName("/images/MA11_v1.11.0.ebl"), "v1.11.0");
  EXPECT_EQ(VersionFromImageName("MC21X_v2.0.1-rc1.EBL"), "v2.0.1-rc1");
  EXPECT_EQ(VersionFromImageName("MA11_v1_2.ebl"), "v1_2") << "the first _ divides";
  EXPECT_EQ(VersionFromImageName("MA11.ebl"), std::nullopt);
  EXPECT_EQ(VersionFromImageName("MA11_.ebl"), std::nullopt);
  EXPECT_EQ(VersionFromImageName("_v1.ebl"), std::nullopt);
  EXPECT_EQ(VersionFromImageName("MA11_v1.11.0.bin"), std::nullopt);
  EXPECT_EQ(VersionFromImageName("MA11_v1.11.0.ebl/"), std::nullopt);
}

class PlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    request.settings.baudRate = 115200;
    request.settings.flowControl = SerialPort::kFlowNone;
    image = folder.Write("MA11_v1.11.0.ebl",
                         std::string("EBL\0MA11\0VERSION=v1.11.0\0", 25) + std::string(300, 'x'));
    config = folder.Write("line.zgb",
                          "[Firmware]\r\nVersion=MA11_v1.11.0.zmcon\r\nNum_of_saves=1\r\n"
                          "[0]\r\nName=Node/Node name\r\nCommand=AT+NODENAME=Line\r\n");
  }
  std::string Refusal() {
    const PlanCheck check = MakeProvisionPlan(request);
    EXPECT_FALSE(check.plan.has_value());
    return check.error;
  }

  TempFolder folder;
  ProvisionRequest request;
  std::string image, config;
};

TEST_F(PlanTest, ReadsTheImageAndTheFileOnceForEveryPort) {
  request.image = image;
  request.config = config;
  request.sets = {"Node/Node name=Line 7", "Radio/Channel=15=x"};
  const PlanCheck check = MakeProvisionPlan(request);
  ASSERT_TRUE(check.plan) << check.error;
  const ProvisionPlan& plan = *check.plan;
  ASSERT_TRUE(plan.image);
  EXPECT_EQ(plan.image->model, "MA11");
  EXPECT_EQ(plan.image->version, "v1.11.0");
  EXPECT_EQ(plan.image->sha256, Sha256::OfFile(image));
  ASSERT_TRUE(plan.config);
  EXPECT_EQ(plan.config->plan.entries.size(), 1u);
  EXPECT_EQ(plan.config->sha256, Sha256::OfFile(config));
  ASSERT_EQ(plan.sets.size(), 2u);
  EXPECT_EQ(plan.sets[1].first, "Radio/Channel");
  EXPECT_EQ(plan.sets[1].second, "15=x");
  EXPECT_TRUE(plan.NeedsDefinitions());
}

TEST_F(PlanTest, AGivenVersionWinsAndAnImageWithoutOneUpdatesEveryModule) {
  request.image = image;
  request.imageVersion = "v1.11.0-b";
  EXPECT_EQ(MakeProvisionPlan(request).plan->image->version, "v1.11.0-b");
  request.imageVersion.reset();
  request.image = folder.Write("latest.ebl", std::string("EBL\0MA11\0", 9));
  EXPECT_EQ(MakeProvisionPlan(request).plan->image->version, std::nullopt);
  // No rate given: each port's rate is detected; the update checks it per module.
  request.settings.baudRate = 0;
  EXPECT_TRUE(MakeProvisionPlan(request).plan);
}

TEST_F(PlanTest, RefusesAnImageThatNoModuleCouldTake) {
  request.image = folder.Path() + "missing.ebl";
  EXPECT_THAT(Refusal(), HasSubstr("cannot be read"));
  request.image = folder.Write("notes.ebl", "just some text, no model code");
  EXPECT_THAT(Refusal(), HasSubstr("carries none of the known model codes"));
  const FirmwareImageFile notes("MA11", "v1.11.0", 2000, FirmwareImageFile::Form::kText);
  request.image = notes.Path();
  EXPECT_THAT(Refusal(), HasSubstr("ERROR: The file is text, not a firmware image."));
  request.image = image;
  request.settings.baudRate = 9600;
  EXPECT_THAT(Refusal(), HasSubstr("115200"));
  request.settings.baudRate = 115200;
  request.settings.flowControl = SerialPort::kFlowHardware;
  EXPECT_THAT(Refusal(), HasSubstr("--flow none"));
  request.settings.flowControl = SerialPort::kFlowNone;
  request.imageVersion = "v1\r\nATZ";
  EXPECT_THAT(Refusal(), HasSubstr("--image-version"));
  request.image.clear();
  request.imageVersion = "v1.11.0";
  EXPECT_THAT(Refusal(), HasSubstr("goes with --image"));
}

TEST_F(PlanTest, RefusesAConfigurationForAnotherVersionThanTheImageMakesUnlessYes) {
  request.image =
      folder.Write("MA11_v1.12.0.ebl", std::string("EBL\0MA11\0VERSION=v1.12.0\0", 25));
  request.config = config;
  EXPECT_THAT(Refusal(), HasSubstr("is for MA11_v1.11.0.zmcon, but the image makes the modules "
                                   "MA11_v1.12.0.zmcon"));
  request.yes = true;
  EXPECT_TRUE(MakeProvisionPlan(request).plan);
}

TEST_F(PlanTest, RefusesAFileThatIsNoConfigurationAndSetsThatCannotBeSent) {
  request.config = folder.Write("empty.zgb", "[Firmware]\r\nNum_of_saves=0\r\n");
  EXPECT_THAT(Refusal(), HasSubstr("ERROR: The configuration file is invalid."));
  request.config.clear();
  request.sets = {"=5"};
  EXPECT_THAT(Refusal(), HasSubstr("--set wants NAME=VALUE"));
  request.sets = {"Channel"};
  EXPECT_THAT(Refusal(), HasSubstr("--set wants NAME=VALUE"));
  request.sets = {"Node name=a\r\nAT&f"};
  EXPECT_THAT(Refusal(), HasSubstr("control character"));
}

}  // namespace
}  // namespace zendra::test
