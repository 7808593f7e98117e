#include "ui/catalog/analysis_lines_model.h"

#include "framework/picture.h"

namespace velmora::ui {

namespace {
constexpr const char* kHeaders[] = {"T", "CTA", "DESCRIPCION", "UNID", "CANTIDAD", "PRECIO", "IMPORTE"};
constexpr int kColumns = 7;
}  // namespace

int AnalysisLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int AnalysisLinesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant AnalysisLinesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(lines_.size()) || index.column() >= kColumns) return {};
  const catalog::EditedLine& l = lines_[index.row()];
  const int c = index.column();
  if (role == Qt::TextAlignmentRole) {
    return c == 1 || c >= 4 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  const auto number = [](double v, const char* pic) { return QString::fromStdString(picture::formatNumber(v, pic)); };
  switch (c) {
    case 0: return QString(QChar(l.type));
    case 1: return QString::number(l.account);
    case 2: return QString::fromStdString(l.description);
    case 3: return QString::fromStdString(l.unit);
    case 4: return number(l.quantity, "n14.4");
    case 5: return number(l.price, "n14.2");
    default: return number(l.amount, "n14.2");
  }
}

QVariant AnalysisLinesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns) return {};
  return QString(kHeaders[section]);
}

}  // namespace velmora::ui
