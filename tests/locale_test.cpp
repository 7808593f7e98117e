// Numbers look and read the same whatever the process locale: Qt sets it
// from the environment, and an estimator's machine may well be in es_ES.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"

namespace velmora {
namespace {

class CommaLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8")) GTEST_SKIP() << "es_ES.UTF-8 is not installed (locales-all)";
  }
  void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }
  std::string previous_;
};

TEST_F(CommaLocaleTest, NumbersAreShownAndReadWithAPoint) {
  struct Shown {
    double value;
    const char* picture;
    const char* text;
  };
  for (const Shown& c : {Shown{3850.5, "n14.2", "3,850.50"}, Shown{-1234567.891, "n14.2", "-1,234,567.89"},
                         Shown{0.0225, "n14.4", "0.0225"}, Shown{42, "n_6", "42"}, Shown{7, "n05", "00007"}}) {
    EXPECT_EQ(picture::formatNumber(c.value, c.picture), c.text);
  }
  EXPECT_EQ(picture::parseNumber("12.50"), 12.5);
  EXPECT_EQ(picture::parseNumber("1,234.5"), 1234.5);
  EXPECT_EQ(picture::parseNumber("12,50x"), std::nullopt);
  EXPECT_EQ(text::parseDecimal("-0.75"), -0.75);
  EXPECT_EQ(text::formatFixed(2.5, 2), "2.50");
  EXPECT_EQ(money::round2(4999000.005), 4999000.01);
}

}  // namespace
}  // namespace velmora
