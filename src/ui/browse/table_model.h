// TableListModel: the rows of a table in one key order, read in chunks as the
// view scrolls, so that a list opens at once whatever the size of its table.
// It owns its own table handle and keeps no read open between fetches.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <vector>

#include "tables/table.h"
#include "ui/browse/declarations.h"

namespace velmora::ui {

class TableListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kChunk = 100;

  TableListModel(std::unique_ptr<tables::Table> table, QObject* parent = nullptr);

  void setOrder(const std::string& key, std::vector<ColumnSpec> columns);
  void setFilter(std::vector<tables::Condition> conditions);
  void setRowColour(std::function<QColor(const tables::Record&, int)> colour) { colour_ = std::move(colour); }
  void setTextColour(std::function<QColor(const tables::Record&)> colour) { textColour_ = std::move(colour); }
  // Reads the list again from the start.
  void reload();
  // Reads again the rows read so far: another station changed the table.
  void refresh();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  const tables::Record& recordAt(int row) const { return rows_[row].record; }
  // Changes what a row shows, not what is stored (until the list is read again).
  void setRecordAt(int row, const tables::Record& record);
  int64_t idAt(int row) const { return rows_[row].id; }
  // The row of the record with this identity, reading further as needed; -1.
  int rowOfId(int64_t id);
  // The first row whose first key component is at or after `prefix`
  // (compared as the key compares), reading further as needed; -1.
  int locate(const QString& prefix);
  const std::vector<ColumnSpec>& columns() const { return columns_; }
  tables::Table& table() { return *table_; }

 signals:
  void refreshed();

 private:
  struct Row {
    int64_t id;
    tables::Record record;
  };
  QString display(const tables::Record& r, const ColumnSpec& c) const;
  void readChunk(std::vector<Row>& into);

  std::unique_ptr<tables::Table> table_;
  int key_ = 0;
  std::vector<ColumnSpec> columns_;
  std::vector<Row> rows_;
  bool atEnd_ = false;
  std::function<QColor(const tables::Record&, int)> colour_;
  std::function<QColor(const tables::Record&)> textColour_;
};

// A value of a record as a picture shows it.
QString formatField(const tables::Record& r, const std::string& field, int element, const std::string& picture);

}  // namespace velmora::ui
