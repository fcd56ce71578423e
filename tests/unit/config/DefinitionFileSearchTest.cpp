// The fallback search among the definition files of the program folder.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/TempFolder.h"
#include "config/DefinitionFileSearch.h"

namespace zendra {
namespace {

struct ScoreCase {
  const char* name;
  double score;
};

class VersionScore : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(VersionScore, WeighsMajorByAMillionPlusTheNumberAfterTheFirstDot) {
  EXPECT_DOUBLE_EQ(DefinitionFileSearch::VersionScore(GetParam().name), GetParam().score)
      << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, VersionScore,
    ::testing::Values(
        ScoreCase{"MA11_v1.2.3.zmcon", 1000002.3}, ScoreCase{"MA11_v1.10.0.zmcon", 1000010.0},
        ScoreCase{"MA11_v1.9.5.zmcon", 1000009.5}, ScoreCase{"MB11_v3.0.zmcon", 3000000.0},
        ScoreCase{"MA11_v2.zmcon", 2000000.0},  // the dot before the ending counts
        ScoreCase{"MA11_v2_beta.zmcon", 0.0},   // no dot in the run
        ScoreCase{"1.5.txt", 1000005.0},        // no "v": scanned from the start
        ScoreCase{"MA11_V1.0.zmcon", 0.0},      // only a lowercase v counts
        ScoreCase{"dev_v1.0.zmcon", 0.0},       // the first v decides
        ScoreCase{"MA11_v.5.zmcon", 5.0}, ScoreCase{"MA11_v12.34.zmcon", 12000034.0}));

TEST(VersionScore, StaysFiniteForAnEndlessDigitRun) {
  const std::string name = "X_v" + std::string(400, '9') + "." + std::string(400, '9') + ".zmcon";
  EXPECT_TRUE(std::isfinite(DefinitionFileSearch::VersionScore(name)));
}

TEST(DefinitionFileSearch, TakesTxtAndZmconEndingsInAnyCase) {
  for (const char* name : {"a.zmcon", "a.ZMCON", "a.ZmCon", "a.txt", "a.tXt", "a.TXT"})
    EXPECT_TRUE(DefinitionFileSearch::IsCandidate(name)) << name;
  for (const char* name : {"a.zmc", "azmcon", "a.zmcon.bak", "a.ebl", "txt", ""})
    EXPECT_FALSE(DefinitionFileSearch::IsCandidate(name)) << name;
}

TEST(DefinitionFileSearch, PrefersTheHighestVersionOfTheLocalProduct) {
  EXPECT_EQ(DefinitionFileSearch::Choose(
                {"MA11_v1.9.5.zmcon", "MA11_v1.10.0.zmcon", "MB11_v3.0.zmcon"}, "MA11"),
            "MA11_v1.10.0.zmcon");
  EXPECT_EQ(DefinitionFileSearch::Choose({"MB11_v3.0.zmcon", "ma11_v1.0.ZMCON"}, "MA11"),
            "ma11_v1.0.ZMCON");
}

TEST(DefinitionFileSearch, FallsBackToAnotherProductOnlyWhenNoneMatches) {
  EXPECT_EQ(DefinitionFileSearch::Choose({"MB11_v3.0.zmcon", "MC21X_v1.0.0.zmcon"}, "MA11"),
            "MB11_v3.0.zmcon");
  EXPECT_EQ(DefinitionFileSearch::Choose({"MB11_v3.0.zmcon", "notes.doc"}, "MA11"),
            "MB11_v3.0.zmcon");
}

TEST(DefinitionFileSearch, KeepsTheFirstOfEqualScores) {
  EXPECT_EQ(DefinitionFileSearch::Choose({"MA11_v1.0.zmcon", "MA11_v1.0.txt"}, "MA11"),
            "MA11_v1.0.zmcon");
}

TEST(DefinitionFileSearch, ChoosesNothingWhenTheBestMatchHasNoVersion) {
  EXPECT_EQ(DefinitionFileSearch::Choose({}, "MA11"), std::nullopt);
  // A file of the product without a version beats the other product's file, and
  // then scores 0: nothing is chosen.
  EXPECT_EQ(DefinitionFileSearch::Choose({"MB11_v3.0.zmcon", "MA11_readme.txt"}, "MA11"),
            std::nullopt);
}

TEST(DefinitionFileSearch, FindsTheBestRegularFileOfAFolder) {
  test::TempFolder folder;
  folder.Write("MA11_v1.9.5.zmcon", "x");
  folder.Write("MA11_v1.10.0.zmcon", "x");
  folder.Write("MB11_v3.0.zmcon", "x");
  folder.Write("MA11_v1.10.0.ebl", "x");
  std::filesystem::create_directory(folder.Path() + "MA11_v9.0.zmcon");
  EXPECT_EQ(DefinitionFileSearch::FindBestDefinitionFile(folder.Path(), "MA11"),
            folder.Path() + "MA11_v1.10.0.zmcon");
  EXPECT_EQ(DefinitionFileSearch::FindBestDefinitionFile(folder.Path() + "missing/", "MA11"),
            std::nullopt);
}

}  // namespace
}  // namespace zendra
