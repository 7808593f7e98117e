// Reports: the amount in words.
#include <gtest/gtest.h>

#include "reports/amount_in_words.h"

namespace velmora::reports {
namespace {

TEST(AmountInWordsTest, EveryRuleOfTheWording) {
  struct Case {
    double amount;
    const char* words;
  };
  const Case cases[] = {
      {0, " 00/100. M.N.)"},
      {0.5, " 50/100. M.N.)"},
      {1, " UN PESOS 00/100. M.N.)"},
      {16, " DIEZ Y SEIS PESOS 00/100. M.N.)"},
      {21, " VEINTE Y UN PESOS 00/100. M.N.)"},
      {30, " TREINTA PESOS 00/100. M.N.)"},
      {100, " CIEN PESOS 00/100. M.N.)"},
      {101, " CIENTO UN PESOS 00/100. M.N.)"},
      {110, " CIENTO DIEZ PESOS 00/100. M.N.)"},
      {200, " DOS CIENTOS PESOS 00/100. M.N.)"},
      {555.05, " QUINIENTOS CINCUENTA Y CINCO PESOS 05/100. M.N.)"},
      {1000, "  UN MIL PESOS 00/100. M.N.)"},
      {2015, "  DOS MIL QUINCE PESOS 00/100. M.N.)"},  // a thousands group 0 2: one more blank
      {201000, "  DOS CIENTOS UN MIL PESOS 00/100. M.N.)"},
      {1000000, " UN MILLON PESOS 00/100. M.N.)"},
      {2000000, " DOS MILLONES PESOS 00/100. M.N.)"},
      {10000000, " DIEZ MILLONES PESOS 00/100. M.N.)"},
      {21000000, " VEINTE Y UN MILLONES PESOS 00/100. M.N.)"},
      {1234567.89, " UN MILLON DOS CIENTOS TREINTA Y CUATRO MIL QUINIENTOS SESENTA Y SIETE PESOS 89/100. M.N.)"},
      {999999999.99,
       " NOVECIENTOS NOVENTA Y NUEVE MILLONES NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE PESOS "
       "99/100. M.N.)"},
      {5000000000.0, "  CINCO MIL MILLONES PESOS 00/100. M.N.)"},
      {200000000000.0, " MIL MILLONES PESOS 00/100. M.N.)"},
      {1.005, " UN PESOS 01/100. M.N.)"},  // rounded as money is: 1.005 is a tie
  };
  for (const Case& c : cases) EXPECT_EQ(amountInWords(c.amount), c.words) << c.amount;
  EXPECT_EQ(layOutAmount(1234.5), "*********1234.50");
  EXPECT_EQ(amountInWords("*********1234.50"), "  UN MIL DOS CIENTOS TREINTA Y CUATRO PESOS 50/100. M.N.)");
}

}  // namespace
}  // namespace velmora::reports
