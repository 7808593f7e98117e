// The report preview and its dialogs, headless.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "framework/dates.h"
#include "reports/sheet.h"
#include "ui/reports/report_dialogs.h"
#include "ui/reports/report_preview.h"
#include "ui/reports/report_run.h"

namespace velmora::ui {
namespace {

reports::Page pageSaying(const std::string& s) {
  reports::Page p;
  reports::TextItem t;
  t.x = 72;
  t.y = 72;
  t.text = s;
  p.texts.push_back(t);
  return p;
}

class PreviewTest : public ::testing::Test {
 protected:
  void fill(size_t pages) {
    for (size_t i = 1; i <= pages; ++i) ASSERT_TRUE(spool.add(pageSaying("HOJA NUMERO " + std::to_string(i))));
  }
  std::unique_ptr<PreviewWindow> open() {
    auto w = std::make_unique<PreviewWindow>(spool, Destination{});
    w->printTo = [this](const std::vector<size_t>& order, const QString&) {
      printed = order;
      return true;
    };
    w->show();
    return w;
  }
  reports::Spool spool;
  std::vector<size_t> printed;
};

TEST_F(PreviewTest, OnePageAndAGridOfFour) {
  fill(1);
  {
    auto w = open();
    EXPECT_EQ(w->statusText(5), "Hoja 1 de 1");
    EXPECT_EQ(w->statusText(2), "No Zoom");
    EXPECT_FALSE(w->button("previous")->isEnabled());
    EXPECT_FALSE(w->button("next")->isEnabled());
  }
  fill(9);  // ten pages now
  auto w = open();
  w->goTo(9);
  w->setGrid(2, 2);
  EXPECT_EQ(w->statusText(5), "Hojas 9-10 de 10");
  EXPECT_FALSE(w->button("next")->isEnabled());
  EXPECT_FALSE(w->button("mark")->isEnabled());  // one-page actions need one page shown
  EXPECT_FALSE(w->button("remove")->isEnabled());
  w->setZoom(4);  // "Zoom (100%)": one page again
  EXPECT_EQ(w->statusText(5), "Hoja 9 de 10");
  EXPECT_EQ(w->statusText(2), "Zoom (100%)");
  QTest::keyClick(w.get(), Qt::Key_PageDown);
  EXPECT_EQ(w->current(), 10u);
  QTest::keyClick(w.get(), Qt::Key_PageUp);
  EXPECT_EQ(w->current(), 9u);
}

TEST_F(PreviewTest, MarkedUnmarkedAndRangesDecideWhatPrints) {
  fill(5);
  auto w = open();
  for (size_t page : {2, 4}) {
    w->goTo(page);
    w->toggleMark();
  }
  EXPECT_EQ(w->statusText(4), "Marked");
  EXPECT_EQ(w->button("mark")->toolTip(), "Unmark Page");
  OutputChoice c;
  c.set = reports::PageSet::kMarked;
  ASSERT_TRUE(w->print(c));
  EXPECT_EQ(printed, (std::vector<size_t>{1, 3}));
  c.set = reports::PageSet::kUnmarked;
  ASSERT_TRUE(w->print(c));
  EXPECT_EQ(printed, (std::vector<size_t>{0, 2, 4}));
  c.set = reports::PageSet::kRange;
  c.from = 3;
  c.to = 2;
  printed.clear();
  EXPECT_FALSE(w->print(c));  // Desde 3 Hasta 2: no page
  EXPECT_TRUE(printed.empty());
  c.set = reports::PageSet::kAll;
  c.copies = 2;
  c.reverse = true;
  c.collate = true;
  ASSERT_TRUE(w->print(c));
  EXPECT_EQ(printed, (std::vector<size_t>{4, 3, 2, 1, 0, 4, 3, 2, 1, 0}));

  // The dialog offers the marked sets only while a page is marked, and the
  // range only for "Rango de Hojas".
  OutputDialog none(OutputDialog::Kind::kPrint, 5, 0, {});
  EXPECT_FALSE(none.setButton(reports::PageSet::kMarked)->isEnabled());
  EXPECT_FALSE(none.fromEntry()->isEnabled());
  none.setButton(reports::PageSet::kRange)->click();
  EXPECT_TRUE(none.fromEntry()->isEnabled());
}

TEST_F(PreviewTest, RemovingAPageAndSavingTextAndPdf) {
  fill(3);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmora_preview_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    auto w = open();
    w->removeCurrentPage();  // page 1 of 3
    EXPECT_EQ(w->statusText(5), "Hoja 1 de 2");
    EXPECT_EQ(spool.count(), 2u);
    OutputChoice all;
    all.to = 2;
    all.file = QString::fromStdString((dir / "reporte.txt").string());
    ASSERT_TRUE(w->saveText(all));
    std::ifstream text(dir / "reporte.txt");
    std::string first;
    std::getline(text, first);
    while (first.empty() && std::getline(text, first)) {}
    EXPECT_NE(first.find("HOJA NUMERO 2"), std::string::npos);
    all.file = QString::fromStdString((dir / "reporte.pdf").string());
    ASSERT_TRUE(w->savePdf(all));
    ASSERT_TRUE(w->saveCurrentPage(QString::fromStdString((dir / "hoja.png").string())));
    EXPECT_GT(std::filesystem::file_size(dir / "hoja.png"), 0u);
  }
  const std::string info = "pdfinfo " + (dir / "reporte.pdf").string() + " | grep -q '^Pages: *2$'";
  EXPECT_EQ(std::system(info.c_str()), 0);
  const std::string words = "pdftotext " + (dir / "reporte.pdf").string() + " - | grep -q 'HOJA NUMERO 3'";
  EXPECT_EQ(std::system(words.c_str()), 0);
  std::filesystem::remove_all(dir);
}

TEST_F(PreviewTest, PrintingReachesThePrinterWithCopiesAndOrder) {
  fill(3);
  const auto file = std::filesystem::temp_directory_path() / ("velmora_print_" + std::to_string(::getpid()) + ".pdf");
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);  // the PDF printer of a system without queues
  printer.setOutputFileName(QString::fromStdString(file.string()));
  const auto order = reports::printOrder(reports::selectPages(3, {}, reports::PageSet::kAll), 2, true, true);
  ASSERT_TRUE(printPages(spool, order, printer));
  EXPECT_EQ(std::system(("pdfinfo " + file.string() + " | grep -q '^Pages: *6$'").c_str()), 0);
  // Reversed: the last page prints first.
  EXPECT_EQ(std::system(("pdftotext -f 1 -l 1 " + file.string() + " - | grep -q 'HOJA NUMERO 3'").c_str()), 0);
  std::filesystem::remove(file);
}

// Through a real print queue: CUPS and its PDF printer (set up by
// scripts/test where the service can run).
TEST_F(PreviewTest, PrintingReachesARealCupsQueue) {
  if (QPrinterInfo::printerInfo("VelmoraPDF").isNull()) GTEST_SKIP() << "no CUPS queue VelmoraPDF here";
  fill(2);
  const std::string job = "velmora-prueba-" + std::to_string(::getpid());
  QPrinter printer(QPrinter::HighResolution);
  printer.setPrinterName("VelmoraPDF");
  printer.setDocName(QString::fromStdString(job));
  ASSERT_TRUE(printPages(spool, {0, 1}, printer));
  // The PDF printer writes the job into the user's PDF folder.
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  std::filesystem::path printedFile;
  for (int wait = 0; wait < 60 && printedFile.empty(); ++wait) {
    QTest::qWait(250);
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(home) / "PDF", ec)) {
      if (e.path().filename().string().find(job) != std::string::npos) printedFile = e.path();
    }
  }
  ASSERT_FALSE(printedFile.empty()) << "the job never left the queue";
  // The printer writes the file in pieces: it is whole once it reads as two
  // pages. (Its text went through the printer's own fonts, so only the pages
  // are checked here; the PDF output test checks the texts.)
  bool whole = false;
  for (int wait = 0; wait < 40 && !whole; ++wait) {
    whole = std::system(("pdfinfo '" + printedFile.string() + "' 2>/dev/null | grep -q '^Pages: *2$'").c_str()) == 0;
    if (!whole) QTest::qWait(250);
  }
  EXPECT_TRUE(whole);
  std::filesystem::remove(printedFile);
}

// A report that has a table offers it as a spreadsheet from the preview.
TEST_F(PreviewTest, ATableGoesToAWorkbookFromThePreview) {
  fill(1);
  auto without = open();
  EXPECT_EQ(without->findChild<QObject*>("saveXlsx"), nullptr);
  reports::Sheet sheet;
  sheet.columns = {{"CONCEPTO", 30}, {"IMPORTE", 14, 2}};
  sheet.add({std::string("EXCAVACION"), 1250.5});
  sheet.addTotal({std::string("TOTAL"), 1250.5}, {1}, true);
  spool.setSheet(&sheet);
  auto with = open();
  EXPECT_NE(with->findChild<QObject*>("saveXlsx"), nullptr);
  const auto file =
      std::filesystem::temp_directory_path() / ("velmora_preview_" + std::to_string(::getpid()) + ".xlsx");
  ASSERT_TRUE(with->saveXlsx(QString::fromStdString(file.string())));
  std::ifstream in(file, std::ios::binary);
  char magic[2] = {};
  in.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "PK");  // a zip container, as xlsx is
  std::filesystem::remove(file);
}

TEST(ReportRunTest, CancellingTheDestinationReadsNothingAndACancelledRunLeavesNoPages) {
  bool laidOut = false;
  QTimer::singleShot(0, [] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();  // "Cancela"
  });
  EXPECT_EQ(runReport(nullptr,
                      [&laidOut](reports::Spool&, const auto&) {
                        laidOut = true;
                        return Status::ok();
                      }),
            0);
  EXPECT_FALSE(laidOut);

  std::filesystem::path spoolDir;
  QTimer::singleShot(0, [] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->accept();  // "Ejecuta"
  });
  EXPECT_EQ(runReport(nullptr,
                      [&spoolDir](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
                        spoolDir = spool.directory();
                        for (size_t i = 0; i < 5; ++i) {
                          if (Status s = spool.add(pageSaying("X")); !s) return s;
                          if (i == 2 || !progress(i, 5)) return Status::error(Status::Code::kCancelled, "cancelado");
                        }
                        return Status::ok();
                      }),
            0);
  EXPECT_FALSE(spoolDir.empty());
  EXPECT_FALSE(std::filesystem::exists(spoolDir));
}

TEST(ReportOptionsTest, DialogsSetTheirDefaultsAndTheRangeText) {
  ReportOptions options;
  options.firstAccount = 0;
  {
    OptionsDialog redir2(OptionsDialog::Kind::kConcepts, options, [](int32_t a) { return a == 25; }, {});
    EXPECT_EQ(redir2.entry("first")->text(), "10");
    redir2.entry("first")->setText("25");
    redir2.accept();
    EXPECT_EQ(options.firstAccount, 25);
    EXPECT_EQ(options.lastAccount, 25);  // only concept 25
  }
  {
    int lookups = 0;
    OptionsDialog redir3(
        OptionsDialog::Kind::kMachines, options, [](int32_t) { return false; },
        [&lookups] {
          ++lookups;
          return std::optional<int32_t>{};
        });
    redir3.show();
    redir3.entry("first")->setText("999");
    redir3.accept();  // no such machine: the list opens; cancelled, the dialog stays
    EXPECT_EQ(lookups, 1);
    EXPECT_TRUE(redir3.isVisible());
  }
  {
    OptionsDialog redir(OptionsDialog::Kind::kInputs, options, {}, {});
    EXPECT_EQ(options.keyType, 'I');
    redir.entry("firstDate")->setText("01/03/2026");
    redir.accept();
    EXPECT_EQ(options.rangeText, " DESDE EL 01/03/2026");
  }
  EXPECT_EQ(rangeText(dates::dayNumber(2026, 3, 1), dates::dayNumber(2026, 3, 31), ""),
            " DESDE EL 01/03/2026 AL 31/03/2026");
  EXPECT_EQ(rangeText(0, 0, " ANTES"), " ANTES");
  OptionsDialog redir4(OptionsDialog::Kind::kWork, options, {}, {});
  EXPECT_EQ(redir4.entry("title")->text(), "TITULO PRINCIPAL REPORTE");
  EXPECT_EQ(options.closingSummary, 'S');
}

}  // namespace
}  // namespace velmora::ui
