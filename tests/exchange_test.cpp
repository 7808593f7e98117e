// Changing cells of a workbook in place, on workbooks whose XML other
// programs write differently from openpyxl: prefixed element names, rows
// written empty ("<x:row r="3"/>"), missing rows, an empty sheet, a calcPr
// that says not to recalculate, merged cells.
// Reading sheets: numbers written as text with either decimal mark, far
// columns, formulas without their values, parts too large to read.
#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "exchange/sheet_data.h"
#include "exchange/xlsx_editor.h"
#include "exchange/xlsx_reader.h"

namespace velmora::exchange {
namespace {

namespace fs = std::filesystem;

std::string part(const fs::path& book, const char* name) {
  int err = 0;
  zip_t* za = zip_open(book.c_str(), ZIP_RDONLY, &err);
  zip_stat_t st;
  zip_stat(za, name, 0, &st);
  std::string text(st.size, '\0');
  zip_file_t* f = zip_fopen(za, name, 0);
  zip_fread(f, text.data(), st.size);
  zip_fclose(f);
  zip_discard(za);
  return text;
}

fs::path makeBook(const fs::path& dir, const std::string& sheetXml, const std::string& sharedStrings = {}) {
  const fs::path book = dir / "libro.xlsx";
  fs::remove(book);
  int err = 0;
  zip_t* za = zip_open(book.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
  const auto add = [za](const char* name, const std::string& text) {
    void* copy = std::malloc(text.size());  // libzip reads it at close, then frees it
    std::memcpy(copy, text.data(), text.size());
    zip_file_add(za, name, zip_source_buffer(za, copy, text.size(), 1), 0);
  };
  add("[Content_Types].xml", "<Types/>");
  add("xl/workbook.xml",
      "<x:workbook xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<x:sheets><x:sheet name=\"Hoja\" sheetId=\"1\" r:id=\"rId1\"/></x:sheets>"
      "<x:calcPr calcId=\"1\" fullCalcOnLoad=\"0\"/></x:workbook>");
  add("xl/_rels/workbook.xml.rels",
      "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/hoja.xml\"/></Relationships>");
  add("xl/worksheets/hoja.xml", sheetXml);
  if (!sharedStrings.empty()) add("xl/sharedStrings.xml", sharedStrings);
  zip_close(za);
  return book;
}

TEST(XlsxEditorTest, CellsAreSetInPlaceWhateverTheRowsLookLike) {
  const fs::path dir = fs::temp_directory_path() / ("velmora_xlsx_editor_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string kept = "<x:c r=\"C5\" s=\"3\"><x:v>1</x:v></x:c>";
  const fs::path book = makeBook(dir,
                                 "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                 "<x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>CLAVE</x:t>"
                                 "</x:is></x:c></x:row><x:row r=\"3\"/><x:row r=\"5\" spans=\"1:3\">" +
                                     kept +
                                     "<x:c r=\"E5\"><x:f>C5*2</x:f><x:v>2</x:v></x:c></x:row></x:sheetData>"
                                     "</x:worksheet>");
  const std::vector<CellValue> values = {
      {2, 1, false, 12.5, {}},        // B3, in a row written empty
      {3, 0, true, 0, "A & <B>"},     // A4, a row that is not there
      {4, 0, false, 7, {}},           // A5, before C5
      {4, 3, false, 8, {}},           // D5, between C5 and the formula
      {4, 4, false, 9, {}},           // E5 holds a formula: left alone
      {6, 0, false, 1234567.89, {}},  // A7, after the last row
  };
  std::vector<std::string> skipped;
  const fs::path out = dir / "salida.xlsx";
  ASSERT_TRUE(writeCellValues(book, "Hoja", values, out, &skipped));
  EXPECT_EQ(skipped, std::vector<std::string>{"E5"});
  SheetData sheet;
  ASSERT_TRUE(readSheet(out, "Hoja", &sheet));
  EXPECT_EQ(sheet.at(0, 0).text, "CLAVE");
  EXPECT_EQ(sheet.at(2, 1).number, 12.5);
  EXPECT_EQ(sheet.at(3, 0).text, "A & <B>");
  EXPECT_EQ(sheet.at(4, 0).number, 7);
  EXPECT_EQ(sheet.at(4, 2).number, 1);
  EXPECT_EQ(sheet.at(4, 3).number, 8);
  EXPECT_EQ(sheet.at(4, 4).number, 2);  // the formula's own cached value
  EXPECT_EQ(sheet.at(6, 0).number, 1234567.89);
  const std::string xml = part(out, "xl/worksheets/hoja.xml");
  EXPECT_NE(xml.find("<x:c r=\"A5\"><x:v>7</x:v></x:c>" + kept + "<x:c r=\"D5\"><x:v>8</x:v></x:c>"), std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<x:row r=\"3\"><x:c r=\"B3\"><x:v>12.5</x:v></x:c></x:row>"), std::string::npos) << xml;
  ASSERT_NE(xml.find("<x:row r=\"4\"><x:c r=\"A4\" t=\"inlineStr\">"), std::string::npos) << xml;
  EXPECT_LT(xml.find("<x:row r=\"4\">"), xml.find("<x:row r=\"5\""));
  const std::string workbook = part(out, "xl/workbook.xml");
  EXPECT_NE(workbook.find("<x:calcPr calcId=\"1\" fullCalcOnLoad=\"1\"/>"), std::string::npos) << workbook;
  EXPECT_EQ(part(out, "xl/_rels/workbook.xml.rels"), part(book, "xl/_rels/workbook.xml.rels"));

  // An empty sheet takes its rows; the client's workbook is never the output.
  const fs::path empty = makeBook(dir, "<worksheet><sheetData/></worksheet>");
  ASSERT_TRUE(writeCellValues(empty, "", {{1, 1, false, 3, {}}}, out, &skipped));
  EXPECT_EQ(part(out, "xl/worksheets/hoja.xml"),
            "<worksheet><sheetData><row r=\"2\"><c r=\"B2\"><v>3</v></c></row></sheetData></worksheet>");
  EXPECT_FALSE(writeCellValues(empty, "", {{1, 1, false, 3, {}}}, empty, &skipped));
  fs::remove_all(dir);
}

// An export killed while writing leaves its scratch behind, hidden beside
// the output; the next export into that folder removes it (and what earlier
// versions left there), but never a scratch file a run may still be writing
// nor a file that is not ours.
TEST(XlsxEditorTest, WhatAKilledExportLeftIsClearedByTheNext) {
  const fs::path dir = fs::temp_directory_path() / ("velmora_xlsx_restos_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path book = makeBook(dir, "<worksheet><sheetData/></worksheet>");
  const fs::path killedRun = dir / (std::string(kExportScratchPrefix) + "123");
  fs::create_directories(killedRun);
  std::ofstream(killedRun / ".en-uso") << "";
  std::ofstream(killedRun / "salida.xlsx") << "PK a medias";
  const auto hidden = [&](const std::string& name, bool old) {
    std::ofstream(dir / name) << "PK a medias";
    if (old) fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    return dir / name;
  };
  const std::vector<fs::path> gone = {hidden(".salida.xlsx.velmora-123456", true),
                                      hidden(".salida.xlsx.velmora-654321.Ab3dEf", true)};
  const std::vector<fs::path> kept = {hidden(".salida.xlsx.velmora-777777", false), hidden(".salida.xlsx.notas", true),
                                      hidden(".otro.velmora-abc", true)};
  std::vector<std::string> skipped;
  ASSERT_TRUE(writeCellValues(book, "", {{0, 0, false, 1, {}}}, dir / "salida.xlsx", &skipped));
  EXPECT_FALSE(fs::exists(killedRun));
  for (const fs::path& p : gone) EXPECT_FALSE(fs::exists(p)) << p;
  for (const fs::path& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().rfind(kExportScratchPrefix, 0), 0u) << e.path();
  EXPECT_EQ(part(dir / "salida.xlsx", "xl/worksheets/hoja.xml"),
            "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData></worksheet>");
  fs::remove_all(dir);
}

struct TempDir {
  fs::path path = fs::temp_directory_path() / ("velmora_sheets_" + std::to_string(::getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
};

TEST(SheetNumbersTest, TextNumbersAreReadByTheirMarks) {
  struct Case {
    const char* text;
    DecimalMark mark;
    std::optional<double> expected;
    bool ambiguous;
  };
  const Case cases[] = {
      {"498,75", DecimalMark::kUnknown, 498.75, false},    // a comma before two digits is decimal
      {"4380.00", DecimalMark::kUnknown, 4380, false},     // a point before two digits too
      {"4380.00", DecimalMark::kComma, 4380, false},       // whatever the others say
      {"1.234,50", DecimalMark::kUnknown, 1234.5, false},  // the mark written last is decimal
      {"1,234.50", DecimalMark::kUnknown, 1234.5, false},
      {"1,234,567", DecimalMark::kUnknown, 1234567, false},  // several of one mark only group
      {"1.234.567", DecimalMark::kUnknown, 1234567, false},
      {"0,125", DecimalMark::kUnknown, 0.125, false},  // no thousand starts with 0
      {"1234,567", DecimalMark::kUnknown, 1234.567, false},
      {"$ -12,5", DecimalMark::kUnknown, -12.5, false},
      {"1234", DecimalMark::kUnknown, 1234, false},
      {"1,234", DecimalMark::kUnknown, std::nullopt, true},  // a thousand and more, or one and a fraction
      {"1.234", DecimalMark::kUnknown, std::nullopt, true},
      {"1,234", DecimalMark::kComma, 1.234, false},
      {"1,234", DecimalMark::kPoint, 1234, false},
      {"1.234", DecimalMark::kComma, 1234, false},
      {"12,34,5", DecimalMark::kUnknown, std::nullopt, false},
      {"1.234,5,6", DecimalMark::kUnknown, std::nullopt, false},
      {"12,", DecimalMark::kUnknown, std::nullopt, false},
      {"cuarenta", DecimalMark::kUnknown, std::nullopt, false},
  };
  for (const Case& c : cases) {
    bool ambiguous = false;
    EXPECT_EQ(parseNumber(c.text, c.mark, &ambiguous), c.expected) << c.text;
    EXPECT_EQ(ambiguous, c.ambiguous) << c.text;
  }
}

TEST(SheetNumbersTest, TheColumnOrTheSheetTellsTheMarkAndAnAmbiguousCellIsRefusedByName) {
  const auto sheetOf = [](const std::vector<std::vector<const char*>>& rows) {
    SheetData sheet;
    for (const auto& cells : rows) {
      SheetRow& row = sheet.rows.emplace_back();
      for (size_t c = 0; c < cells.size(); ++c) {
        if (!cells[c]) continue;
        Cell& cell = row.set(c);
        cell.kind = Cell::Kind::kText;
        cell.text = cells[c];
      }
    }
    return sheet;
  };
  // The column decides: "498,75" says its commas are decimal.
  SheetData sheet = sheetOf({{"CLAVE", "PRECIO"}, {"A", "1,234"}, {"B", "498,75"}, {"C", "4.380"}});
  EXPECT_EQ(decimalMarkOf(sheet, 1, 1), DecimalMark::kComma);
  std::string why;
  EXPECT_EQ(cellNumber(sheet, 1, 1, DecimalMark::kComma, "el precio", &why), 1.234);
  EXPECT_EQ(cellNumber(sheet, 3, 1, DecimalMark::kComma, "el precio", &why), 4380);
  // Without a word from the column, the sheet's other numbers decide.
  sheet = sheetOf({{"PRECIO", "CANTIDAD"}, {"1,234", "12.50"}});
  EXPECT_EQ(decimalMarkOf(sheet, 0, 1), DecimalMark::kPoint);
  // Nothing anywhere says it, or the column says both: the cell is refused by name.
  for (const SheetData& s :
       {sheetOf({{"PRECIO"}, {"1,234"}, {"120"}}), sheetOf({{"PRECIO"}, {"1,234"}, {"12,50"}, {"12.50"}})}) {
    const DecimalMark mark = decimalMarkOf(s, 0, 1);
    EXPECT_EQ(mark, DecimalMark::kUnknown);
    EXPECT_FALSE(cellNumber(s, 1, 0, mark, "el precio", &why));
    EXPECT_NE(why.find("la coma de 1,234 en A2"), std::string::npos) << why;
  }
  EXPECT_FALSE(cellNumber(sheetOf({{"PRECIO"}, {"abc"}}), 1, 0, DecimalMark::kUnknown, "el precio", &why));
  EXPECT_EQ(why, "el precio de A2 no es un número (abc)");
}

TEST(SheetReadTest, FarCellsFormulasAndLargePartsAreReadOrRefusedWithinBounds) {
  TempDir dir;
  // One cell in the last column (XFD) of each row: a row keeps one cell,
  // not sixteen thousand.
  std::string xml = "<worksheet><sheetData>";
  for (int r = 1; r <= 2000; ++r)
    xml += "<row r=\"" + std::to_string(r) + "\"><c r=\"XFD" + std::to_string(r) + "\"><v>" + std::to_string(r) +
           "</v></c></row>";
  xml += "</sheetData></worksheet>";
  SheetData sheet;
  ASSERT_TRUE(readSheet(makeBook(dir.path, xml), "", &sheet));
  ASSERT_EQ(sheet.rows.size(), 2000u);
  for (const SheetRow& row : sheet.rows) ASSERT_EQ(row.cells().size(), 1u);
  EXPECT_EQ(sheet.at(1999, 16383).number, 2000);
  EXPECT_EQ(sheet.rows[5].size(), 16384u);
  EXPECT_FALSE(sheet.rows[5].blank());  // a row of numbers is not blank

  // A formula the workbook carries no value of is unknown, not blank; one
  // with its cached value is that value.
  ASSERT_TRUE(readSheet(makeBook(dir.path,
                                 "<worksheet><sheetData><row r=\"2\"><c r=\"A2\"><v>4</v></c>"
                                 "<c r=\"B2\"><f>A2*3</f></c><c r=\"C2\"><f>A2*2</f><v>8</v></c>"
                                 "<c r=\"D2\" s=\"1\"/></row></sheetData></worksheet>"),
                        "", &sheet));
  EXPECT_TRUE(sheet.at(1, 1).uncalculated());
  EXPECT_FALSE(sheet.rows[1].blank());
  std::string why;
  EXPECT_FALSE(cellNumber(sheet, 1, 1, DecimalMark::kUnknown, "la cantidad", &why));
  EXPECT_NE(why.find("la fórmula de B2 no tiene su valor calculado"), std::string::npos) << why;
  EXPECT_EQ(cellNumber(sheet, 1, 2, DecimalMark::kUnknown, "la cantidad", &why), 8);
  EXPECT_EQ(sheet.rows[1].cells().size(), 3u);  // D2 holds only a style

  // Shared strings of 65 MB uncompressed (a few hundred KB in the archive)
  // are refused before they are read.
  std::string strings = "<sst>";
  while (strings.size() < (65u << 20)) strings += "<si><t>RELLENO</t></si>";
  strings += "</sst>";
  const Status s = readSheet(makeBook(dir.path, "<worksheet><sheetData/></worksheet>", strings), "", &sheet);
  ASSERT_FALSE(s);
  EXPECT_NE(s.text().find("xl/sharedStrings.xml del libro pasa de 64 MB"), std::string::npos) << s.text();

  // A missing workbook is missing, not "no es un libro xlsx".
  const Status missing = readSheet(dir.path / "no-existe.xlsx", "", &sheet);
  EXPECT_NE(missing.text().find("no existe el libro"), std::string::npos) << missing.text();
}

TEST(XlsxEditorTest, AValueUnderAMergedRangeGoesToItsFirstCell) {
  TempDir dir;
  const fs::path book = makeBook(dir.path,
                                 "<worksheet><sheetData><row r=\"5\"><c r=\"E5\" s=\"2\"/><c r=\"F5\" s=\"2\"/>"
                                 "</row></sheetData><mergeCells count=\"1\"><mergeCell ref=\"E5:F5\"/></mergeCells>"
                                 "</worksheet>");
  std::vector<std::string> skipped;
  const fs::path out = dir.path / "salida.xlsx";
  ASSERT_TRUE(writeCellValues(book, "", {{4, 5, false, 175.62, {}}}, out, &skipped));
  SheetData sheet;
  ASSERT_TRUE(readSheet(out, "", &sheet));
  EXPECT_EQ(sheet.at(4, 4).number, 175.62);
  EXPECT_TRUE(sheet.at(4, 5).empty());
  // Two values under one merged range cannot both be shown.
  EXPECT_FALSE(writeCellValues(book, "", {{4, 4, false, 1, {}}, {4, 5, false, 2, {}}}, out, &skipped));
}

}  // namespace
}  // namespace velmora::exchange
