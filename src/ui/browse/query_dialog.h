// Query by example ("&Consulta"): a value per column of the list. A value
// beginning with "*" means "Contenga", one ending with "*" means "Comience",
// and the operator "No Igual<>" means not equal. The result is a filter.
#pragma once

#include <QDialog>
#include <vector>

#include "tables/schema.h"
#include "tables/table.h"
#include "ui/browse/declarations.h"
#include "ui/context.h"

class QComboBox;
class QLineEdit;

namespace velmora::ui {

class QueryDialog : public QDialog {
  Q_OBJECT
 public:
  QueryDialog(Context& ctx, std::vector<ColumnSpec> columns, const tables::TableDef& def, QWidget* parent = nullptr);
  // The filter of the values entered; raises message 44 for a column that
  // cannot be queried and leaves it out.
  std::vector<tables::Condition> conditions();

  void setValue(int column, const QString& value, int op = 0);

  static constexpr const char* kOperators[] = {"Igual", "No Igual<>", "Contenga", "Comience"};

 private:
  Context& ctx_;
  std::vector<ColumnSpec> columns_;
  const tables::TableDef& def_;
  std::vector<QComboBox*> ops_;
  std::vector<QLineEdit*> values_;
};

// One query value as a condition (the "*" conventions applied).
tables::Condition queryCondition(const ColumnSpec& column, int op, const QString& value);

}  // namespace velmora::ui
