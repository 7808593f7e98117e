#include "ui/browse/table_model.h"

#include <cmath>

#include <QBrush>

#include "framework/picture.h"
#include "framework/text.h"
#include "ui/browse/live_changes.h"

namespace velmora::ui {

QString formatField(const tables::Record& r, const std::string& field, int element, const std::string& pic) {
  const int slot = r.def().slot(field, element);
  if (slot < 0) return {};
  const auto type = r.def().columns[slot].type;
  switch (pic.empty() ? 's' : pic[0]) {
    case 'n': {
      const double v = type == tables::FieldType::kReal ? r.realAt(slot) : static_cast<double>(r.integerAt(slot));
      return QString::fromStdString(picture::formatNumber(v, pic));
    }
    case 'd': return QString::fromStdString(picture::formatDate(static_cast<int32_t>(r.integerAt(slot)), pic));
    default:
      if (type == tables::FieldType::kReal) return QString::number(r.realAt(slot));
      if (type != tables::FieldType::kString && type != tables::FieldType::kCString &&
          type != tables::FieldType::kMemo) {
        return QString::number(r.integerAt(slot));
      }
      return QString::fromStdString(r.textAt(slot));
  }
}

TableListModel::TableListModel(std::unique_ptr<tables::Table> table, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)) {
  followChanges(*table_, this, [this] { refresh(); });
}

void TableListModel::refresh() {
  // As many rows as were read before, so that the view stays where it was.
  const size_t shown = rows_.size();
  beginResetModel();
  rows_.clear();
  atEnd_ = !table_->isOpen();
  if (!atEnd_) table_->setOrder(key_);
  do readChunk(rows_);
  while (!atEnd_ && rows_.size() < shown);
  endResetModel();
  emit refreshed();
}

void TableListModel::setOrder(const std::string& key, std::vector<ColumnSpec> columns) {
  key_ = std::max(0, table_->keyIndex(key));
  if (!columns.empty()) columns_ = std::move(columns);
  reload();
}

void TableListModel::setFilter(std::vector<tables::Condition> conditions) {
  (void)table_->setFilter(std::move(conditions));  // fields come from the declarations
  reload();
}

void TableListModel::reload() {
  beginResetModel();
  rows_.clear();
  atEnd_ = !table_->isOpen();
  if (!atEnd_) table_->setOrder(key_);
  readChunk(rows_);  // the first page comes with the reset itself
  endResetModel();
}

void TableListModel::readChunk(std::vector<Row>& into) {
  for (int i = 0; i < kChunk && !atEnd_; ++i) {
    if (!table_->next().found()) {
      atEnd_ = true;
      break;
    }
    into.push_back({table_->recordId(), table_->rec()});
  }
}

int TableListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TableListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QString TableListModel::display(const tables::Record& r, const ColumnSpec& c) const {
  if (c.value) return c.value(r);
  return formatField(r, c.field, c.elementNow ? c.elementNow() : c.element, c.picture);
}

void TableListModel::setRecordAt(int row, const tables::Record& record) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].record = record;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

QVariant TableListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const ColumnSpec& c = columns_[index.column()];
  const tables::Record& r = rows_[index.row()].record;
  switch (role) {
    case Qt::DisplayRole: return display(r, c);
    case Qt::TextAlignmentRole:
      return static_cast<int>((!c.picture.empty() && c.picture[0] == 'n' ? Qt::AlignRight : Qt::AlignLeft) |
                              Qt::AlignVCenter);
    case Qt::BackgroundRole:
      if (colour_) {
        const QColor colour = colour_(r, index.row());
        if (colour.isValid()) return QBrush(colour);
      }
      return {};
    case Qt::ForegroundRole:
      if (textColour_) {
        const QColor colour = textColour_(r);
        if (colour.isValid()) return QBrush(colour);
      }
      return {};
    default: return {};
  }
}

QVariant TableListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < static_cast<int>(columns_.size())) {
    return columns_[section].header;
  }
  return {};
}

bool TableListModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atEnd_; }

void TableListModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atEnd_) return;
  std::vector<Row> chunk;
  readChunk(chunk);
  if (chunk.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(chunk.size()) - 1);
  for (auto& row : chunk) rows_.push_back(std::move(row));
  endInsertRows();
}

int TableListModel::rowOfId(int64_t id) {
  for (size_t row = 0;; ++row) {
    if (row == rows_.size()) {
      if (atEnd_) return -1;
      fetchMore({});
      if (row == rows_.size()) return -1;
    }
    if (rows_[row].id == id) return static_cast<int>(row);
  }
}

int TableListModel::locate(const QString& prefix) {
  // SQL counts the rows before the typed value; only those are fetched.
  const auto& key = table_->def().resolvedKeys[key_];
  const int slot = key.componentSlots[0];
  const auto type = table_->def().columns[slot].type;
  tables::Record& r = table_->rec();
  r.clear();
  if (tables::isTextType(type)) {
    r.setTextAt(slot, prefix.toStdString());
  } else if (type == tables::FieldType::kReal) {
    r.setRealAt(slot, text::parseDecimal(prefix.trimmed().toStdString()).value_or(0));
  } else {
    // A typed number positions at the first whole value at or above it.
    const double typed = text::parseDecimal(prefix.trimmed().toStdString()).value_or(0);
    const double scaled = type == tables::FieldType::kDecimal92 ? typed * 100 : typed;
    r.setIntegerAt(slot, static_cast<int64_t>(std::ceil(scaled)));
  }
  const int64_t before = table_->countBefore(key_);
  while (static_cast<int64_t>(rows_.size()) <= before && !atEnd_) {
    const size_t had = rows_.size();
    fetchMore({});
    if (rows_.size() == had) break;
  }
  return before < static_cast<int64_t>(rows_.size()) ? static_cast<int>(before) : -1;
}

}  // namespace velmora::ui
