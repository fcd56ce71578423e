// What a detect probe makes of the text it received.

#include <gmock/gmock.h>

#include "serial/PortDetect.h"

namespace zendra::test {
namespace {

using Answer = PortDetect::Answer;

TEST(PortDetectJudge, AnOkLineIsAModuleAndTheLettersElsewhereAreNot) {
  const struct {
    const char* received;
    Answer answer;
  } cases[] = {
      {"", Answer::kNothing},
      {"AT\r", Answer::kNothing},                      // the echo only, so far
      {"\r\nAT\r\r\nOK\r\n", Answer::kOk},             // echo on
      {"\r\nOK", Answer::kOk},                         // its line end still to come
      {"\r\nERROR\r\n\nAT\r\r\nOK\r\n", Answer::kOk},  // what a wrong rate left, then OK
      {"\r\nERROR\r\n", Answer::kError},
      {"\r\nBOOKSHELF\r\n", Answer::kNothing},  // no verdict of its own
      {"\r\nOKAY\r\n", Answer::kNothing},
      {"\xc3\x8f\xb5OK\xe1\r\n", Answer::kNothing},  // noise around the letters
      {"\r\nZendra Bootloader\r\n1. upload ebl\r\nBL > ", Answer::kBootloader},
      {"B", Answer::kNothing},
      // A bootloader waiting for an upload asks for it and says nothing else.
      {"C", Answer::kBootloader},
      {"CC\x15", Answer::kBootloader},
      {"\r\nC", Answer::kNothing},
      {"AT\rC", Answer::kNothing},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PortDetect::Judge(c.received), c.answer) << ::testing::PrintToString(c.received);
  }
}

TEST(PortDetectJudge, TheRatesAreTheLinesListMostCommonFirst) {
  EXPECT_THAT(PortDetect::CommonRates(),
              ::testing::ElementsAre(115200, 9600, 57600, 38400, 19200, 230400, 460800, 921600,
                                     4800, 2400, 1200));
  EXPECT_EQ(DetectOptions().rates, PortDetect::CommonRates());
}

}  // namespace
}  // namespace zendra::test
