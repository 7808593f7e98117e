#include "ui/browse/query_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora::ui {

tables::Condition queryCondition(const ColumnSpec& column, int op, const QString& value) {
  using Op = tables::Condition::Op;
  tables::Condition c{column.field, column.element, Op::kEquals, value.trimmed().toStdString()};
  QString v = value.trimmed();
  if (op == 1) c.op = Op::kNotEquals;
  if (op == 2) c.op = Op::kContains;
  if (op == 3) c.op = Op::kBegins;
  if (v.startsWith('*')) {
    c.op = Op::kContains;
    v = v.mid(1);
    if (v.endsWith('*')) v.chop(1);
  } else if (v.endsWith('*')) {
    c.op = Op::kBegins;
    v.chop(1);
  }
  c.value = v.toStdString();
  return c;
}

QueryDialog::QueryDialog(Context& ctx, std::vector<ColumnSpec> columns, const tables::TableDef& def, QWidget* parent)
    : QDialog(parent), ctx_(ctx), columns_(std::move(columns)), def_(def) {
  setObjectName("QBE");
  setWindowTitle("Consulta");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  for (const auto& col : columns_) {
    auto* row = new QHBoxLayout;
    auto* op = new QComboBox;
    for (const char* name : kOperators) op->addItem(QString::fromUtf8(name));
    auto* value = new QLineEdit;
    value->setObjectName(QString::fromStdString("qbe_" + col.field));
    row->addWidget(op);
    row->addWidget(value);
    form->addRow(col.header.trimmed() + ":", row);
    ops_.push_back(op);
    values_.push_back(value);
  }
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Aceptar");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancelar");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void QueryDialog::setValue(int column, const QString& value, int op) {
  ops_[column]->setCurrentIndex(op);
  values_[column]->setText(value);
}

std::vector<tables::Condition> QueryDialog::conditions() {
  std::vector<tables::Condition> out;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (values_[i]->text().trimmed().isEmpty()) continue;
    const int slot = def_.slot(columns_[i].field, columns_[i].element);
    if (slot < 0 || def_.columns[slot].type == tables::FieldType::kMemo) {
      ctx_.errors.setField(columns_[i].header.toStdString());
      ctx_.errors.raise(44);
      continue;
    }
    out.push_back(queryCondition(columns_[i], ops_[i]->currentIndex(), values_[i]->text()));
  }
  return out;
}

}  // namespace velmora::ui
