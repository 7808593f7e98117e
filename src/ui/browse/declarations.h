// Declarations of lists and forms: a new screen is mostly a table, its key
// orders with their columns, its buttons and its fields.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QString>

#include "framework/form_request.h"
#include "tables/record.h"

namespace velmora::tables {
class Table;
}

namespace velmora::ui {

struct ColumnSpec {
  QString header;
  std::string field;
  std::string picture;  // "s30", "n14.2B", "n_6", "d6"
  int element = 1;
  int width = 0;  // characters; 0 from the picture
  // When set, the element is asked for as each row is shown (the current
  // salary zone's price, which a zone selection changes under open lists).
  std::function<int()> elementNow;
  // When set, the text shown is computed from the row (a value read from
  // another table), and `field` only names the column.
  std::function<QString(const tables::Record&)> value;
};

// A tab of a list: a key order and the columns it shows.
struct TabSpec {
  QString caption;
  std::string key;
  std::vector<ColumnSpec> columns;  // empty: keep the columns of the tab shown before
  QString locator;                  // caption of the entry that locates in this order; empty: "Buscar:", "-": none
};

namespace browse_button {
constexpr unsigned kSelect = 1, kView = 2, kInsert = 4, kChange = 8, kDelete = 16, kPrint = 32, kQuery = 64,
                   kClose = 128;
}

class BrowseWindow;

struct BrowseSpec {
  std::string procedure;  // registered with the error reporter, and the object name
  QString title;
  std::string table;
  std::vector<TabSpec> tabs;
  unsigned buttons = 0;
  // Captions of the buttons, e.g. {kInsert, "&Alta"}; defaults otherwise.
  std::vector<std::pair<unsigned, QString>> captions;
  int deleteElement = 0;                                            // access element checked on Delete; 0 none
  std::function<QColor(const tables::Record&, int row)> rowColour;  // background
  std::function<QColor(const tables::Record&)> textColour;          // foreground
  // Opens the record form for the record in `table`'s buffer; true when the
  // request was completed. Without it, Delete asks message 11 and deletes.
  std::function<bool(BrowseWindow& list, tables::Table& table, FormRequest request)> form;
};

struct FieldSpec {
  QString label;
  std::string field;
  std::string picture;
  int tab = 0;
  int element = 1;
  enum class Kind { kEdit, kPassword, kCheck, kRadio, kMemo } kind = Kind::kEdit;
  bool readOnly = false;
  QString objectName;    // defaults to the field name (and element)
  bool sameRow = false;  // beside the previous field instead of on a row of its own
  // kRadio: the choices, each a caption and the stored value ("I", "3", ...).
  std::vector<std::pair<QString, std::string>> options;
  bool price = false;  // a price: refused by money::priceProblem's rule
};

struct FormOptions {
  enum class InsertAction { kClose, kAskAnother, kNext } insertAction = InsertAction::kClose;
  bool saveOnLeave = true;
  bool askBeforeSaving = true;
};

}  // namespace velmora::ui
