// The choice and value lists of a choice parameter, as selection and Save read them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/ChoiceList.h"
#include "config/ParameterEditor.h"

namespace zendra {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(ChoiceList, AListWithoutSeparatorIsOneChoice) {
  EXPECT_THAT(ChoiceList::Choices("Only one"), ElementsAre("Only one"));
  EXPECT_THAT(ChoiceList::Choices("A::B:"), ElementsAre("A", "", "B", ""));
}

struct EntriesCase {
  const char* list;
  std::size_t n;
  std::vector<std::string> entries;
};

class ValueEntries : public ::testing::TestWithParam<EntriesCase> {};

TEST_P(ValueEntries, AreExactlyOnePerChoice) {
  EXPECT_THAT(ChoiceList::ValueEntries(GetParam().list, GetParam().n),
              ElementsAreArray(GetParam().entries));
}

INSTANTIATE_TEST_SUITE_P(
    PaddingRule, ValueEntries,
    ::testing::Values(EntriesCase{"0:1:2", 3, {"0", "1", "2"}},
                      // Too few pieces: the entries without a piece stay empty and the
                      // text after the last separator goes to the last entry.
                      EntriesCase{"0:1", 3, {"0", "", "1"}}, EntriesCase{"7", 3, {"", "", "7"}},
                      // Too many: the surplus stays joined in the last entry.
                      EntriesCase{"0:1:2:3", 2, {"0", "1:2:3"}}, EntriesCase{"0:1", 1, {"0:1"}}));

struct IndexCase {
  const char* name;
  std::vector<std::string> entries;
  bool hasValueList;
  const char* reply;
  std::size_t choices;
  std::optional<int> index;
};

class SelectedIndex : public ::testing::TestWithParam<IndexCase> {};

TEST_P(SelectedIndex, FollowsTheReply) {
  const IndexCase& c = GetParam();
  EXPECT_EQ(ChoiceList::SelectedIndex(c.entries, c.hasValueList, c.reply, c.choices), c.index);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SelectedIndex,
    ::testing::Values(
        IndexCase{"ValueEntryMatches", {"0", "1", "2"}, true, "2", 3, 2},
        IndexCase{"ReplyInNoValueEntrySelectsTheFirst", {"0", "1", "2"}, true, "9", 3, 0},
        IndexCase{"LastEqualEntryWins", {"1", "1", "0"}, true, "1", 3, 1},
        IndexCase{"ComparisonIsExact", {"0", "1", "2"}, true, " 2", 3, 0},
        IndexCase{"EmptyReplyMatchesAnEmptyPaddingEntry", {"0", "", "1"}, true, "", 3, 1},
        IndexCase{"WithoutValuesTheReplyIsTheIndex", {}, false, "2", 3, 2},
        IndexCase{"BlanksAndSignAreAllowed", {}, false, "  +1", 3, 1},
        IndexCase{"TrailingTextIsIgnored", {}, false, "2 dBm", 3, 2},
        IndexCase{"NoDigitsReadAsZero", {}, false, "abc", 3, 0},
        IndexCase{"ReplyBeyondTheChoicesSelectsNothing", {}, false, "7", 3, std::nullopt},
        IndexCase{"NegativeReplySelectsNothing", {}, false, "-1", 3, std::nullopt},
        IndexCase{
            "HugeReplySelectsNothing", {}, false, "99999999999999999999999", 3, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

struct SaveCase {
  const char* valueList;
  int choice;
  const char* value;
};

class SaveValue : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveValue, IsTheValueEntryOfTheChoice) {
  EXPECT_EQ(ChoiceList::SaveValue(GetParam().valueList, GetParam().choice), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Choices, SaveValue,
                         ::testing::Values(SaveCase{"0:1", 1, "1"},
                                           // Fewer value entries than the index: the last one.
                                           SaveCase{"0:1", 3, "1"}, SaveCase{"10:20:30", 0, "10"},
                                           // Without a value list the index itself.
                                           SaveCase{"", 2, "2"}));

TEST(SetCommand, IsTheReadCommandWithEqualsValueAndLineEnd) {
  EXPECT_EQ(ParameterEditor::SetCommand("AT+NODENAME\r\n", "N1"), "AT+NODENAME=N1\r\n");
  EXPECT_EQ(ParameterEditor::SetCommand("AT+PANID\r\n", ""), "AT+PANID=\r\n");
  EXPECT_EQ(ParameterEditor::SetCommand("AT+X\rjunk\r\n", "1"), "AT+X=1\r\n");
}

TEST(FillChoiceBox, SelectsTheItemWhoseDataEqualsTheSelectedValue) {
  const auto box = ParameterEditor::FillChoiceBox({"Off", "On", "Auto"}, {0, 1, 2}, 3, 1);
  EXPECT_THAT(box.texts, ElementsAre("Off", "On", "Auto"));
  EXPECT_EQ(box.selection, 1);
  EXPECT_EQ(ParameterEditor::FillChoiceBox({"Off", "On"}, {0, 1}, 2, -1).selection, std::nullopt);
}

TEST(FillChoiceBox, NeverReadsPastItsLists) {
  EXPECT_EQ(ParameterEditor::FillChoiceBox({"Off", "On"}, {0, 1}, 40, 1).texts.size(), 2u);
  EXPECT_EQ(ParameterEditor::FillChoiceBox({"Off", "On"}, {0}, 2, 1).texts.size(), 1u);
  // The count is taken as an unsigned 16-bit number: 65537 is 1.
  EXPECT_EQ(ParameterEditor::FillChoiceBox({"Off", "On"}, {0, 1}, 65537, 0).texts.size(), 1u);
  EXPECT_TRUE(ParameterEditor::FillChoiceBox({"Off", "On"}, {0, 1}, -65536, 0).texts.empty());
}

}  // namespace
}  // namespace zendra
