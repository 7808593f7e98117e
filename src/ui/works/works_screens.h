// CAP_PRES, the works register; UP_OBRA, the work form; SUM_PRE, the totals
// with indirect costs, profit and VAT.
#pragma once

#include <QDialog>
#include <optional>

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"
#include "works/work.h"

class QComboBox;

namespace velmora::ui {

BrowseSpec worksListSpec();
// CAP_PRES with the highlighted work's totals under the list. Opening it
// blanks the current work; leaving it with "C&ierra" marks it "NULO".
BrowseWindow* makeWorksList(Context& ctx);
// CAP_PRES as the budget asks for a work: the chosen work's header, or
// nothing when the list was left.
std::optional<works::WorkHeader> pickWork(Context& ctx, QWidget* parent);

class WorkForm : public RecordForm {
  Q_OBJECT
 public:
  WorkForm(Context& ctx, tables::Table& obra, FormRequest request, QWidget* parent = nullptr);
  QComboBox* zoneList() const { return zones_; }

 protected:
  void afterLoad() override;
  bool validate() override;
  void beforeSave(tables::Record& r) override;
  bool afterSave() override;
  void fieldAccepted(const FieldSpec& field) override;
  bool otherChanges() const override;

 private:
  QComboBox* zones_;
  int loadedZone_ = 1;
};

bool runWorkForm(BrowseWindow& list, tables::Table& obra, FormRequest request);

// SUM_PRE: nothing editable.
class SummaryWindow : public QDialog {
  Q_OBJECT
 public:
  SummaryWindow(const works::WorkHeader& obra, double directCost, QWidget* parent = nullptr);
};

}  // namespace velmora::ui
