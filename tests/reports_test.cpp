// Reports: the amount in words.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/amount_in_words.h"
#include "reports/legal_amount_words.h"
#include "reports/page.h"

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

// A figure and its words are one value, rounded once by the money rule:
// ties in binary and in decimal, and amounts of thousands of millions.
TEST(AmountInWordsTest, TheWordsSayThePrintedFigure) {
  struct Case {
    double amount;
    const char* printed;
  };
  const Case cases[] = {
      {8322353.125, "8,322,353.13"},    // a tie held exactly in binary
      {16780124.075, "16,780,124.08"},  // a tie only in decimal
      {0.005, "0.01"},
      {1.005, "1.01"},
      {2.675, "2.68"},
      {0.004999, "0.00"},
      {4999000.004999, "4,999,000.00"},
      {1000000000.005, "1,000,000,000.01"},
      {10860855882.98, "10,860,855,882.98"},
      {13793286971.385, "13,793,286,971.39"},
      {999999999999.995, "1,000,000,000,000.00"},
  };
  for (const Case& c : cases) {
    const std::string printed = picture::formatNumber(c.amount, "n20.2");
    EXPECT_EQ(printed.substr(printed.find_first_not_of(' ')), c.printed) << c.amount;
    const std::string words = amountInWords(c.amount);
    const std::string cents = std::string(c.printed).substr(std::string(c.printed).size() - 2);
    EXPECT_NE(words.find(" " + cents + "/100. M.N.)"), std::string::npos) << c.amount << ": " << words;
    EXPECT_EQ(text::formatFixed(money::round2(c.amount), 2), text::formatFixed(c.amount, 2)) << c.amount;
  }
  EXPECT_EQ(amountInWords(8322353.125).substr(0, 42), " OCHO MILLONES TRES CIENTOS VEINTE Y DOS M");
}

// The legal wording of the bids: every rule of today's Spanish that the
// system's own wording gets wrong, the large amounts, the sign, and the cents
// rounded once as the printed figure is.
TEST(LegalAmountInWordsTest, TodaysLegalSpanish) {
  struct Case {
    double amount;
    const char* words;
  };
  const Case cases[] = {
      {13.69, "(TRECE PESOS 69/100 M.N.)"},
      {1, "(UN PESO 00/100 M.N.)"},
      {1.5, "(UN PESO 50/100 M.N.)"},
      {0.5, "(CERO PESOS 50/100 M.N.)"},
      {0, "(CERO PESOS 00/100 M.N.)"},
      {16, "(DIECISÉIS PESOS 00/100 M.N.)"},
      {21, "(VEINTIÚN PESOS 00/100 M.N.)"},
      {22, "(VEINTIDÓS PESOS 00/100 M.N.)"},
      {23.07, "(VEINTITRÉS PESOS 07/100 M.N.)"},
      {26, "(VEINTISÉIS PESOS 00/100 M.N.)"},
      {31, "(TREINTA Y UN PESOS 00/100 M.N.)"},
      {99, "(NOVENTA Y NUEVE PESOS 00/100 M.N.)"},
      {100, "(CIEN PESOS 00/100 M.N.)"},
      {101, "(CIENTO UN PESOS 00/100 M.N.)"},
      {200, "(DOSCIENTOS PESOS 00/100 M.N.)"},
      {555.05, "(QUINIENTOS CINCUENTA Y CINCO PESOS 05/100 M.N.)"},
      {1000, "(MIL PESOS 00/100 M.N.)"},
      {1001, "(MIL UN PESOS 00/100 M.N.)"},
      {1234.5, "(MIL DOSCIENTOS TREINTA Y CUATRO PESOS 50/100 M.N.)"},
      {21000, "(VEINTIÚN MIL PESOS 00/100 M.N.)"},
      {100000, "(CIEN MIL PESOS 00/100 M.N.)"},
      {101000, "(CIENTO UN MIL PESOS 00/100 M.N.)"},
      {1000000, "(UN MILLÓN DE PESOS 00/100 M.N.)"},
      {1000001, "(UN MILLÓN UN PESOS 00/100 M.N.)"},
      {1000000.5, "(UN MILLÓN DE PESOS 50/100 M.N.)"},
      {2000000, "(DOS MILLONES DE PESOS 00/100 M.N.)"},
      {2500000, "(DOS MILLONES QUINIENTOS MIL PESOS 00/100 M.N.)"},
      {21000000, "(VEINTIÚN MILLONES DE PESOS 00/100 M.N.)"},
      {1234567.89, "(UN MILLÓN DOSCIENTOS TREINTA Y CUATRO MIL QUINIENTOS SESENTA Y SIETE PESOS 89/100 M.N.)"},
      {1000000000, "(MIL MILLONES DE PESOS 00/100 M.N.)"},
      {1500000000, "(MIL QUINIENTOS MILLONES DE PESOS 00/100 M.N.)"},
      {21000000000.0, "(VEINTIÚN MIL MILLONES DE PESOS 00/100 M.N.)"},
      {999999999999.99,
       "(NOVECIENTOS NOVENTA Y NUEVE MIL NOVECIENTOS NOVENTA Y NUEVE MILLONES NOVECIENTOS NOVENTA Y NUEVE MIL "
       "NOVECIENTOS NOVENTA Y NUEVE PESOS 99/100 M.N.)"},
      // Rounded once by the money rule: x.995 makes a whole peso more.
      {20.995, "(VEINTIÚN PESOS 00/100 M.N.)"},
      {999999.995, "(UN MILLÓN DE PESOS 00/100 M.N.)"},
      {0.995, "(UN PESO 00/100 M.N.)"},
      {1.005, "(UN PESO 01/100 M.N.)"},
      {8322353.125, "(OCHO MILLONES TRESCIENTOS VEINTIDÓS MIL TRESCIENTOS CINCUENTA Y TRES PESOS 13/100 M.N.)"},
      // A negative figure is said with its sign; one that rounds to no cents has none.
      {-13.69, "(MENOS TRECE PESOS 69/100 M.N.)"},
      {-1, "(MENOS UN PESO 00/100 M.N.)"},
      {-0.004, "(CERO PESOS 00/100 M.N.)"},
  };
  for (const Case& c : cases) {
    std::string words;
    ASSERT_TRUE(legalAmountInWords(c.amount, Accents::kKept, &words)) << c.amount;
    EXPECT_EQ(words, c.words) << c.amount;
  }
}

TEST(LegalAmountInWordsTest, AccentsDroppedInCapitalsAndAmountsRefused) {
  struct Case {
    double amount;
    const char* words;
  };
  const Case plain[] = {
      {16, "(DIECISEIS PESOS 00/100 M.N.)"},
      {21021.21, "(VEINTIUN MIL VEINTIUN PESOS 21/100 M.N.)"},
      {22, "(VEINTIDOS PESOS 00/100 M.N.)"},
      {1000000, "(UN MILLON DE PESOS 00/100 M.N.)"},
      {26000023, "(VEINTISEIS MILLONES VEINTITRES PESOS 00/100 M.N.)"},
  };
  for (const Case& c : plain) {
    std::string words;
    ASSERT_TRUE(legalAmountInWords(c.amount, Accents::kDropped, &words)) << c.amount;
    EXPECT_EQ(words, c.words) << c.amount;
  }
  // Nothing is guessed: a figure that is not a number, or beyond what the
  // words and the cents hold, is refused and the words are left as they were.
  const double refused[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e12, -1e12, 1e300};
  for (double amount : refused) {
    std::string words = "sin cambio";
    const Status s = legalAmountInWords(amount, Accents::kKept, &words);
    EXPECT_TRUE(s.is(Status::Code::kInvalid)) << amount;
    EXPECT_FALSE(s.text().empty());
    EXPECT_EQ(words, "sin cambio") << amount;
  }
  std::string words;
  ASSERT_TRUE(legalAmountInWords(-999999999999.99, Accents::kKept, &words));
  EXPECT_EQ(words.substr(0, 17), "(MENOS NOVECIENTO");
  const Status tooLarge = legalAmountInWords(1e12, Accents::kKept, &words);
  EXPECT_EQ(tooLarge.text(),
            "el importe 1,000,000,000,000.00 excede el mayor que se escribe con letra (999,999,999,999.99)");
}

// On the 132-column text page a figure wider than its box is never cut: it
// reaches left over blank cells, or takes the line below when they are not.
TEST(PageModelTest, AWideFigureIsNeverCut) {
  Page p;
  const auto figure = [](double x, double y, double width, const char* text) {
    TextItem t;
    t.x = x;
    t.y = y;
    t.width = width;
    t.align = Align::kRight;
    t.text = text;
    return t;
  };
  TextItem caption;
  caption.x = 0;
  caption.y = 0;
  caption.width = 200;
  caption.text = "COSTO DIRECTO:";
  p.texts = {caption, figure(475, 0, 70, "10,860,855,882.98"),                           // blank cells to its left
             figure(400, 10, 70, "1,548.49"), figure(475, 10, 70, "2,236,786,062.55")};  // a neighbour
  const std::string text = pageAsText(p);
  EXPECT_NE(text.find("10,860,855,882.98"), std::string::npos) << text;
  EXPECT_NE(text.find("2,236,786,062.55"), std::string::npos) << text;
  EXPECT_NE(text.find("1,548.49"), std::string::npos) << text;
}

Page pageSaying(const std::string& s, const std::string& corner = kPagePlaceholder) {
  Page p;
  TextItem t;
  t.x = 0;
  t.y = 0;
  t.text = s;
  p.texts.push_back(t);
  TextItem n;
  n.x = 400;
  n.y = 0;
  n.width = 212;
  n.align = Align::kRight;
  n.text = corner;
  p.texts.push_back(n);
  return p;
}

TEST(PageModelTest, PagesSelectedForPrintingAndSaving) {
  const std::vector<bool> marks = {false, true, false, true, false};  // pages 2 and 4 of 5
  EXPECT_EQ(selectPages(5, marks, PageSet::kMarked), (std::vector<size_t>{1, 3}));
  EXPECT_EQ(selectPages(5, marks, PageSet::kUnmarked), (std::vector<size_t>{0, 2, 4}));
  EXPECT_EQ(selectPages(5, marks, PageSet::kAll).size(), 5u);
  EXPECT_TRUE(selectPages(5, marks, PageSet::kRange, 3, 2).empty());  // Desde 3 Hasta 2
  EXPECT_EQ(selectPages(5, marks, PageSet::kRange, 4, 99), (std::vector<size_t>{3, 4}));

  EXPECT_EQ(printOrder({0, 1, 2}, 2, true, false), (std::vector<size_t>{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(printOrder({0, 1, 2}, 2, false, false), (std::vector<size_t>{0, 0, 1, 1, 2, 2}));
  std::vector<size_t> many(300);
  for (size_t i = 0; i < many.size(); ++i) many[i] = i;
  const auto reversed = printOrder(many, 1, true, true);  // any number of pages reverses
  EXPECT_EQ(reversed.front(), 299u);
  EXPECT_EQ(reversed.back(), 0u);

  EXPECT_EQ(positionText(1, 1, 1), "Hoja 1 de 1");
  EXPECT_EQ(positionText(9, 4, 10), "Hojas 9-10 de 10");  // a 2 x 2 grid on page 9 of 10
  EXPECT_EQ(positionText(10, 4, 10), "Hoja 10 de 10");
}

TEST(PageModelTest, TheSpoolNumbersRemovesAndCleansUpOnlyItsOwnPages) {
  const auto dir = std::filesystem::temp_directory_path() / ("velmora_spool_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::path spoolDir;
  {
    Spool spool(dir);
    spoolDir = spool.directory();
    for (const char* s : {"UNO", "DOS", "TRES"}) ASSERT_TRUE(spool.add(pageSaying(s)));
    ASSERT_TRUE(spool.numberPages(true));
    EXPECT_EQ(pageAsText(*spool.read(2)).substr(0, 4), "TRES");
    EXPECT_NE(pageAsText(*spool.read(2)).find("Hoja 3 de 3"), std::string::npos);
    ASSERT_TRUE(spool.remove(0));  // removing page 1 of 3
    EXPECT_EQ(spool.count(), 2u);
    EXPECT_EQ(pageAsText(*spool.read(0)).substr(0, 3), "DOS");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(spoolDir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);  // the pages, one after another in the run's one file
    ASSERT_TRUE(writeText(spool, {0, 1}, dir / "reporte.txt"));
    // A run stopped here (cancelled) leaves nothing but what it wrote out.
  }
  EXPECT_FALSE(std::filesystem::exists(spoolDir));
  EXPECT_TRUE(std::filesystem::exists(dir / "reporte.txt"));
  std::filesystem::remove_all(dir);

  Spool printing;
  ASSERT_TRUE(printing.add(pageSaying("UNA")));
  ASSERT_TRUE(printing.numberPages(false));  // printing without viewing
  EXPECT_NE(pageAsText(*printing.read(0)).find("Hoja 1 of 1"), std::string::npos);
}

TEST(PageModelTest, TheSpoolReadsBackEveryPositionExactly) {
  // Whole points and two decimals take a short form on the way to disk; any
  // other value must come back bit for bit all the same.
  Page p;
  const double values[] = {0, 30, -12, 86.5, 6.5, -0.05, 0.1 + 0.2, 612.0 / 132, 1e13 + 0.5, 123456789.25, 1e300};
  for (double v : values) {
    TextItem t;
    t.x = v;
    t.y = -v;
    t.width = v / 3;
    t.font.size = v;
    t.text = "X";
    p.texts.push_back(t);
  }
  Spool spool;
  ASSERT_TRUE(spool.add(p));
  const auto back = spool.read(0);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->texts.size(), p.texts.size());
  for (size_t i = 0; i < p.texts.size(); ++i) {
    EXPECT_EQ(back->texts[i].x, p.texts[i].x) << i;
    EXPECT_EQ(back->texts[i].y, p.texts[i].y) << i;
    EXPECT_EQ(back->texts[i].width, p.texts[i].width) << i;
    EXPECT_EQ(back->texts[i].font.size, p.texts[i].font.size) << i;
  }
}

TEST(PageModelTest, TextItemsLandOnTheCharacterGridByPosition) {
  Page p;
  TextItem left;
  left.x = 0;
  left.y = 0;
  left.text = "IZQUIERDA";
  TextItem right;
  right.x = 512;
  right.y = 12;
  right.width = 100;
  right.align = Align::kRight;
  right.text = "1,234.50";
  TextItem cut;
  cut.x = 0;
  cut.y = 24;
  cut.width = 4 * 612.0 / 132;
  cut.text = "AÑOSXXXX";
  p.texts = {left, right, cut};
  const std::string text = pageAsText(p);
  EXPECT_EQ(text, "IZQUIERDA\n" + std::string(124, ' ') + "1,234.50\nAÑOS");
}

}  // namespace
}  // namespace velmora::reports
