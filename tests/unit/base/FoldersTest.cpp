// The folders the program finds on its system, and names with non-ASCII letters
// crossing the system's API whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/FileAccess.h"
#include "base/Folders.h"
#include "base/WideText.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

namespace zendra {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnvironment;
using test::TempFolder;

// "Zoë Åström/定義" in UTF-8.
const std::string kNonAscii = "Zo\xC3\xAB \xC3\x85str\xC3\xB6m/\xE5\xAE\x9A\xE7\xBE\xA9";

TEST(Folders, TheExecutablesFolderHoldsThisTestProgram) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  const fs::path path = PathFromUtf8(folder);
  EXPECT_TRUE(path.is_absolute()) << folder;
  bool found = false;
  for (const auto& entry : fs::directory_iterator(path)) {
    const std::string name = Utf8Path(entry.path().filename());
    if (name.rfind("unit_base", 0) == 0) found = true;
  }
  EXPECT_TRUE(found) << "no unit_base program in " << folder;
}

#ifdef _WIN32
TEST(Folders, TheUsersFolderLiesUnderLocalAppData) {
  ScopedEnvironment local("LOCALAPPDATA", "C:\\Users\\" + kNonAscii + "\\AppData\\Local");
  EXPECT_EQ(UserDataFolder(), "C:/Users/" + kNonAscii + "/AppData/Local/Zendra Manager/");
  ScopedEnvironment trailing("LOCALAPPDATA", "D:\\Data\\");
  EXPECT_EQ(UserDataFolder(), "D:/Data/Zendra Manager/");
}

TEST(Folders, WithoutTheVariableTheSystemsFolderIsTaken) {
  ScopedEnvironment local("LOCALAPPDATA", std::nullopt);
  const std::string folder = UserDataFolder();
  EXPECT_TRUE(PathFromUtf8(folder).is_absolute()) << folder;
  EXPECT_TRUE(folder.ends_with("/Zendra Manager/")) << folder;
}
#else
TEST(Folders, TheUsersFolderFollowsXdgThenHome) {
  ScopedEnvironment xdg("XDG_DATA_HOME", "/data/" + kNonAscii);
  EXPECT_EQ(UserDataFolder(), "/data/" + kNonAscii + "/zendra-manager/");
  ScopedEnvironment relative("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
  ScopedEnvironment home("HOME", "/home/op/");
  EXPECT_EQ(UserDataFolder(), "/home/op/.local/share/zendra-manager/");
  ScopedEnvironment noXdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironment bareHome("HOME", "/home/op");
  EXPECT_EQ(UserDataFolder(), "/home/op/.local/share/zendra-manager/");
}
#endif

TEST(WideText, NonAsciiNamesGoToTheSystemAndBackWhole) {
  const std::wstring wide = WideFromUtf8(kNonAscii);
  // One wide character per letter; "定" and "義" are single UTF-16 units too.
  EXPECT_EQ(wide.size(), 13u);
  EXPECT_EQ(wide[2], L'\u00EB');
  EXPECT_EQ(Utf8FromWide(wide), kNonAscii);
  // A letter beyond the basic plane: a surrogate pair on Windows, one unit elsewhere.
  const std::string clef = "\xF0\x9D\x84\x9E";
  EXPECT_EQ(WideFromUtf8(clef).size(), sizeof(wchar_t) == 2 ? 2u : 1u);
  EXPECT_EQ(Utf8FromWide(WideFromUtf8(clef)), clef);
  EXPECT_EQ(Utf8Path(PathFromUtf8(kNonAscii)), kNonAscii);
  // Whatever the process's locale: the conversion is the program's own.
  // Bytes that are no UTF-8 (cut short, overlong, a surrogate) reach no system call.
  for (const std::string bad : {"\xE5\xAE", "\xC0\xAF", "\xED\xA0\x80", "a\xFF" "b"})
    EXPECT_TRUE(WideFromUtf8(bad).empty()) << bad;
}

TEST(FileAccess, AFolderWithNonAsciiLettersTakesAndGivesFiles) {
  TempFolder temp;
  const std::string folder = temp.Path() + kNonAscii + "/";
  fs::create_directories(PathFromUtf8(folder));
  const std::string path = folder + "Gr\xC3\xBC\xC3\x9F" "e.zgb";

  NewFile file;
  ASSERT_TRUE(file.Create(path));
  ASSERT_TRUE(file.Write("[Firmware]\r\n"));
  ASSERT_TRUE(file.SyncAndClose());
  EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(path)));
  EXPECT_EQ(ReadRegularFile(path), "[Firmware]\r\n");

  std::FILE* opened = OpenForReading(path);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(IsRegularFile(opened));
  std::fclose(opened);

  // A second Create of the same name is refused and says why.
  NewFile again;
  EXPECT_FALSE(again.Create(path));
  EXPECT_TRUE(again.AlreadyExisted());
  EXPECT_EQ(ReadRegularFile(path), "[Firmware]\r\n");
}

TEST(FileAccess, RenameOverReplacesTheTargetWhole) {
  TempFolder temp;
  const std::string target = temp.Write("target.zgb", "old");
  const std::string fresh = temp.Write("fresh.zgb", "new text");
  ASSERT_TRUE(RenameOver(fresh, target));
  EXPECT_EQ(ReadRegularFile(target), "new text");
  EXPECT_FALSE(fs::exists(PathFromUtf8(fresh)));
  // Nothing to rename: the target keeps what it has.
  EXPECT_FALSE(RenameOver(fresh, target));
  EXPECT_EQ(ReadRegularFile(target), "new text");
  EXPECT_TRUE(RemoveFile(target));
  EXPECT_FALSE(RemoveFile(target));
}

TEST(FileAccess, OnlyRegularFilesAreRead) {
  TempFolder temp;
  EXPECT_EQ(ReadRegularFile(temp.Path()), std::nullopt);  // a folder
  EXPECT_EQ(ReadRegularFile(temp.Path() + "missing"), std::nullopt);
  EXPECT_EQ(ReadRegularFile(temp.Write("empty", "")), std::string());
  NewFile file;
  EXPECT_FALSE(file.Create(temp.Path() + "no such folder/file"));
  EXPECT_FALSE(file.AlreadyExisted());
  EXPECT_FALSE(file.Write("x"));
  EXPECT_FALSE(file.SyncAndClose());
  EXPECT_FALSE(IsRegularFile(nullptr));
}

}  // namespace
}  // namespace zendra
