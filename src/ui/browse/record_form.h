// RecordForm: the record form shared by every catalogue. It adds, changes,
// deletes or shows one record of its table as the request says, with the
// questions of the list-and-form behaviour: 11 before deleting, 37 and 36
// when a save or a delete fails, 3 after an insert (when asked for), 38 or 10
// when a changed form is left. A screen declares its fields and adds its own
// rules through the virtual hooks.
#pragma once

#include <QDialog>
#include <vector>

#include "tables/table.h"
#include "ui/browse/declarations.h"
#include "ui/context.h"

class QTabWidget;
class QHBoxLayout;
class QLineEdit;

namespace velmora::ui {

class RecordForm : public QDialog {
  Q_OBJECT
 public:
  RecordForm(Context& ctx, tables::Table& table, FormRequest request, const QString& title, const QStringList& tabs,
             std::vector<FieldSpec> fields, FormOptions options = {}, QWidget* parent = nullptr);

  // Runs the request: a delete is confirmed with message 11 and done without
  // showing the form; any other request shows the form modally. True when the
  // request was completed.
  bool run();
  // Prepares the record (an insert primes it and reserves its number) and
  // fills the entries; run() calls it. False when there is nothing to show.
  bool start();
  bool completed() const { return completed_; }
  FormRequest request() const { return request_; }

  QWidget* fieldWidget(const std::string& field, int element = 1) const;
  QTabWidget* tabs() const { return tabs_; }

  // Fills the focused entry from the record saved last in this table while
  // the program runs (the recall key, Ctrl+').
  void recallFocusedField();

  void accept() override;  // OK: save
  void reject() override;  // leaving: questions when changed

 protected:
  virtual void prime(tables::Record&) {}       // defaults of a new record
  virtual bool validate() { return true; }     // own rules; false keeps the form open
  virtual void beforeSave(tables::Record&) {}  // computed fields
  virtual bool afterSave() { return true; }    // after the record was written
  // Writes the record in the buffer (insert, or over the record last read);
  // forms that save more beside it (lines) write both in one transaction.
  virtual Status writeRecord(bool inserting) { return inserting ? table_.insert() : table_.update(); }
  const tables::Record& loadedRecord() const { return loaded_; }
  virtual void fieldAccepted(const FieldSpec&) {}
  virtual void afterLoad() {}                          // the entries were filled from the record
  virtual bool otherChanges() const { return false; }  // edits beside the record (lines)

  // The text an entry shows, and setting it (numbers as their picture shows them).
  QString fieldText(const std::string& field, int element = 1) const;
  void setFieldText(const std::string& field, const QString& text, int element = 1);
  // The record as the entries hold it now (false when an entry cannot be read).
  bool currentRecord(tables::Record& into) const { return storeWidgets(into, false); }

  void loadWidgets();
  void loadWidget(size_t index, const tables::Record& r);
  // Widget values into `record`; false (with a warning) when one cannot be read.
  bool storeWidgets(tables::Record& record, bool warn) const;
  QString passwordText(const std::string& field) const;
  void addRow(int tab, const QString& label, QWidget* widget, bool besidePrevious = false);
  // Puts `widget` at the end of the row of a field's entry (a lookup button).
  void addBesideField(const std::string& field, QWidget* widget, int element = 1);
  bool changed() const;
  void focusFirstField();

  Context& ctx_;
  tables::Table& table_;
  FormRequest request_;
  FormOptions options_;

 private:
  bool save();
  void primeInsert();
  void leaveWithoutSaving();

  std::vector<FieldSpec> fields_;
  std::vector<QWidget*> widgets_;
  std::vector<QHBoxLayout*> rows_;  // the row layout of each entry
  QTabWidget* tabs_;
  QHBoxLayout* lastRow_ = nullptr;
  tables::Record loaded_;
  bool reserved_ = false;  // an insert's number is held by a record not yet saved
  bool written_ = false;   // the record was saved once: later saves write over it
  bool completed_ = false;
};

}  // namespace velmora::ui
