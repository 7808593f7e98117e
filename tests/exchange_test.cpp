// Changing cells of a workbook in place, on workbooks whose XML other
// programs write differently from openpyxl: prefixed element names, rows
// written empty ("<x:row r="3"/>"), missing rows, an empty sheet, a calcPr
// that says not to recalculate.
#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

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

fs::path makeBook(const fs::path& dir, const std::string& sheetXml) {
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

}  // namespace
}  // namespace velmora::exchange
