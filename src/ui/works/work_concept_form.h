// UpdatePresu, a row of the budget with its analysis at the work's prices,
// and AJU_MAT, the adjustment of a concept's value.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "ui/browse/record_form.h"
#include "ui/catalog/analysis_editor.h"
#include "ui/catalog/concept_screens.h"
#include "works/budget.h"

class QLineEdit;

namespace velmora::ui {

// AJU_MAT: the new value typed for a concept worth `current`; nothing when
// cancelled.
class AdjustDialog : public QDialog {
  Q_OBJECT
 public:
  AdjustDialog(double current, QWidget* parent = nullptr);
  std::optional<double> wanted() const;
  QLineEdit* entry() const { return entry_; }

 private:
  QLineEdit* entry_;
};

class WorkConceptForm : public RecordForm {
  Q_OBJECT
 public:
  // `cobr` is the open work's budget; `obra` its header.
  WorkConceptForm(Context& ctx, tables::Table& cobr, const works::WorkHeader& obra, FormRequest request,
                  QWidget* parent = nullptr);
  ~WorkConceptForm() override;

  AnalysisEditor& editor() { return *editor_; }
  char kind() const { return kind_; }
  // "Título", "SubTotal", "Concepto".
  void setKind(char kind);
  // The lookup of "DESCRIPCION:": a catalogue concept brought into the row.
  void importConcept(int32_t account);
  // "A&justa" with the value the user typed; false when refused.
  bool adjustTo(double wanted);

  AccountPicker accountPicker;
  std::function<std::optional<int32_t>()> conceptPicker;          // BUSCA_CON
  std::function<std::optional<double>(double current)> askValue;  // AJU_MAT

 protected:
  void prime(tables::Record& r) override;
  void afterLoad() override;
  bool validate() override;
  void beforeSave(tables::Record& r) override;
  Status writeRecord(bool inserting) override;
  bool otherChanges() const override;

 private:
  works::WorkPricing pricing_;
  AnalysisEditor* editor_;
  char kind_ = 'C';
  char loadedKind_ = 'C';
};

// Opens UpdatePresu for the request on the row in `cobr`'s buffer, after the
// budget access check; true when the request was completed.
bool runWorkConceptForm(Context& ctx, tables::Table& cobr, const works::WorkHeader& obra, FormRequest request,
                        QWidget* parent);

}  // namespace velmora::ui
