// Where the update server is and where downloaded definition files go.

#include <gmock/gmock.h>

#include <filesystem>
#include <optional>

#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"
#include "webupdate/DefinitionFolder.h"
#include "webupdate/UpdateServerUrl.h"

namespace zendra::test {
namespace {

TEST(UpdateServerUrlTest, ASettingIsAHostOrTheWholeFolderUrl) {
  const std::string folder = "/download/software/zendra_manager/";
  EXPECT_EQ(UpdateServerUrl::FromSetting("updates.example.com"),
            "http://updates.example.com" + folder);
  EXPECT_EQ(UpdateServerUrl::FromSetting(" 10.0.0.7:8080 "), "http://10.0.0.7:8080" + folder);
  EXPECT_EQ(UpdateServerUrl::FromSetting("https://mirror.example/zm"),
            "https://mirror.example/zm/");
  EXPECT_EQ(UpdateServerUrl::FromSetting("HTTP://mirror.example/zm/"), "HTTP://mirror.example/zm/");
  for (const char* unusable : {"", "   ", "ftp://mirror.example/", "file:///etc/", "https://",
                               "two words", "host/path", "user@host"})
    EXPECT_EQ(UpdateServerUrl::FromSetting(unusable), "") << unusable;
}

TEST(UpdateServerUrlTest, ExplicitBeatsEnvironmentBeatsStoredBeatsTheBuildsDefault) {
  const std::string folder = "/download/software/zendra_manager/";
  {
    ScopedEnvironment env("ZENDRA_UPDATE_SERVER", "env.example");
    EXPECT_EQ(UpdateServerUrl::Resolve("cli.example", "stored.example"),
              "http://cli.example" + folder);
    EXPECT_EQ(UpdateServerUrl::Resolve(" ", "stored.example"), "http://env.example" + folder);
    // A mistyped address is reported, not replaced by the next source.
    EXPECT_EQ(UpdateServerUrl::Resolve("ftp://cli.example", "stored.example"), "");
  }
  ScopedEnvironment env("ZENDRA_UPDATE_SERVER", std::nullopt);
  EXPECT_EQ(UpdateServerUrl::Resolve(std::nullopt, "stored.example"),
            "http://stored.example" + folder);
  // Unconfigured, the build's host: by default a reserved name that never resolves.
  EXPECT_EQ(UpdateServerUrl::Resolve(std::nullopt, std::nullopt),
            "http://" + UpdateServerUrl::DefaultHost() + folder);
  EXPECT_THAT(UpdateServerUrl::DefaultHost(), ::testing::EndsWith(".example"));
}

TEST(UpdateServerUrlTest, NamesAreEncodedForTheUrlPath) {
  EXPECT_EQ(UpdateServerUrl::FileUrl("http://h/f/", "sub/MA11_v1.0.6.zmcon"),
            "http://h/f/sub/MA11_v1.0.6.zmcon");
  EXPECT_EQ(UpdateServerUrl::FileUrl("http://h/f/", "a b%#?\x01\xc3\xa9.zmcon"),
            "http://h/f/a%20b%25%23%3F%01%C3%A9.zmcon");
}

TEST(DefinitionFolderTest,
     DownloadsGoToABuildTreesProgramFolderWhenItTakesFilesElseToTheUsersFolder) {
  TempFolder program;
  TempFolder data;
  ScopedEnvironment xdg("XDG_DATA_HOME", data.Path() + "share");
  EXPECT_EQ(DefinitionFolder::ForDownloads(program.Path()), program.Path());
  EXPECT_TRUE(std::filesystem::is_empty(program.Path()));  // the probe leaves nothing

  // Even root cannot create a file below a regular file.
  const std::string unwritable = program.Write("zendra-manager", "program") + "/";
  const std::string user = data.Path() + "share/zendra-manager/definitions/";
  EXPECT_EQ(DefinitionFolder::ForDownloads(unwritable), user);
  EXPECT_TRUE(std::filesystem::is_directory(user));

  // An installed program's folders belong to the package manager: not even root,
  // who could write there, downloads into them.
  TempFolder prefix;
  std::filesystem::create_directories(prefix.Path() + "bin");
  std::filesystem::create_directories(prefix.Path() + "share/zendra-manager/definitions");
  EXPECT_EQ(DefinitionFolder::ForDownloads(prefix.Path() + "bin/"), user);
  EXPECT_TRUE(std::filesystem::is_empty(prefix.Path() + "bin"));
  EXPECT_TRUE(std::filesystem::is_empty(prefix.Path() + "share/zendra-manager/definitions"));

  // A relative XDG_DATA_HOME is ignored, as the base directory rules say.
  ScopedEnvironment relative("XDG_DATA_HOME", "share");
  ScopedEnvironment home("HOME", data.Path() + "home");
  EXPECT_EQ(DefinitionFolder::UserFolder(),
            data.Path() + "home/.local/share/zendra-manager/definitions/");
}

}  // namespace
}  // namespace zendra::test
