// AnalysisLinesModel: the lines of a unit-price analysis as a Qt table model
// ("T", "CTA", "DESCRIPCION", "UNID", "CANTIDAD", "PRECIO", "IMPORTE"), read
// only. The editor that owns the lines brackets each change with
// beginChange() and endChange().
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "catalog/analysis.h"

namespace velmora::ui {

class AnalysisLinesModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit AnalysisLinesModel(const std::vector<catalog::EditedLine>& lines, QObject* parent = nullptr)
      : QAbstractTableModel(parent), lines_(lines) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Around any change of the lines (added, replaced, removed, re-sorted).
  void beginChange() { beginResetModel(); }
  void endChange() { endResetModel(); }

 private:
  const std::vector<catalog::EditedLine>& lines_;
};

}  // namespace velmora::ui
