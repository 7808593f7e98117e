// Control characters at the ways in of the exchange files: a CSV, a
// workbook or a FIEBDC-3 file holding one (a NUL byte, an escape) is refused
// naming where it is, before anything is written; a line break in a cell is
// text. The table layer keeps them out of what the forms store (table_test).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "exchange/bc3_file.h"
#include "exchange/csv_reader.h"
#include "exchange/xlsx_reader.h"

namespace velmora::exchange {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class ControlCharactersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("velmora_control_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return dir / name;
  }
  // A workbook of one sheet whose cell B2 holds `text` as an inline string.
  fs::path book(const std::string& text) {
    const fs::path file = dir / "libro.xlsx";
    fs::remove(file);
    int err = 0;
    zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
    const auto add = [za](const char* name, const std::string& bytes) {
      void* copy = std::malloc(bytes.size());  // libzip reads it at close, then frees it
      std::memcpy(copy, bytes.data(), bytes.size());
      zip_file_add(za, name, zip_source_buffer(za, copy, bytes.size(), 1), 0);
    };
    add("[Content_Types].xml", "<Types/>");
    add("xl/workbook.xml",
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<sheets><sheet name=\"Precios\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    add("xl/_rels/workbook.xml.rels",
        "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/hoja.xml\"/></Relationships>");
    add("xl/worksheets/hoja.xml",
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>CLAVE</t></is></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>MAT-1</t></is></c>"
        "<c r=\"B2\" t=\"inlineStr\"><is><t>" +
            text + "</t></is></c></row></sheetData></worksheet>");
    zip_close(za);
    return file;
  }

  fs::path dir;
};

TEST_F(ControlCharactersTest, ACsvFileWithOneIsRefusedNamingTheCell) {
  SheetData sheet;
  const Status refused = readCsv(write("lista.csv", "CLAVE;PRECIO\nMAT-1;10,50\nMAT-2\0X;4,00\n"s), &sheet);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.text().find("la celda A3"), std::string::npos) << refused.text();
  EXPECT_NE(refused.text().find("U+0000"), std::string::npos) << refused.text();

  const Status read = readCsv(write("buena.csv", "CLAVE;TEXTO\r\nMAT-1;\"DOS\nLINEAS\"\r\n"), &sheet);
  ASSERT_TRUE(read) << read.text();
  EXPECT_EQ(sheet.rows.at(1).at(1).text, "DOS\nLINEAS");
}

TEST_F(ControlCharactersTest, AWorkbookWithOneIsRefusedNamingTheCell) {
  SheetData sheet;
  const Status refused = readSheet(book("CEMENTO&#x1b;GRIS"), "", &sheet);
  // XML 1.0 has no escape below a blank but tab and line breaks: a reader
  // that takes one anyway must still not let it through.
  if (refused) {
    EXPECT_EQ(sheet.rows.at(1).at(1).text.find('\x1b'), std::string::npos);
  } else {
    EXPECT_NE(refused.text().find("B2"), std::string::npos) << refused.text();
  }
  ASSERT_FALSE(readSheet(book("CEMENTO\x1b GRIS"), "", &sheet)) << "a raw escape in a cell";
  const Status read = readSheet(book("DOS&#10;LINEAS"), "", &sheet);
  ASSERT_TRUE(read) << read.text();
  EXPECT_EQ(sheet.rows.at(1).at(1).text, "DOS\nLINEAS");
}

TEST_F(ControlCharactersTest, AFiebdcFileWithOneIsRefusedNamingTheLine) {
  const std::string head = "~V|VELMORA|FIEBDC-3/2020|PRUEBA||ANSI|\r\n";
  Bc3File file;
  const Status refused = readBc3(head + "~C|C800|M3|CONCRETO\0F'C 200|1500.00|010126|0|\r\n"s, &file);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.text().find("línea 2"), std::string::npos) << refused.text();
  EXPECT_NE(refused.text().find("U+0000"), std::string::npos) << refused.text();
  // DOS's end-of-file mark after the last record is not text and is no fault.
  const Status read = readBc3(head + "~C|C800|M3|CONCRETO|1500.00|010126|0|\r\n\x1a", &file);
  EXPECT_EQ(read.text().find("control"), std::string::npos) << read.text();
}

}  // namespace
}  // namespace velmora::exchange
