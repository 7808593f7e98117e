// CAP_CON, the concept catalogue; UpdateCOBA, the concept form with its
// analysis lines; CAP_DET, the line editor; BUSCA_CON, the concept picker.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "catalog/analysis.h"
#include "catalog/prices.h"
#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"
#include "ui/catalog/analysis_editor.h"
#include "ui/catalog/generic_keys.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QTableView;

namespace velmora::ui {

BrowseSpec conceptListSpec();
// CAP_CON, or BUSCA_CON when picking, with their "Ver Claves" and word tab.
BrowseWindow* makeConceptList(Context& ctx, bool picking = false);
// BUSCA_CON, over the second handle of the concepts.
BrowseSpec conceptPickerSpec();

// Picks a catalogue account of a kind ('I' input, 'B' basic, 'C' machine).
using AccountPicker = std::function<std::optional<int32_t>(char type)>;
AccountPicker modalAccountPicker(Context& ctx, QWidget* parent);

// CAP_DET: one analysis line.
class LineEditor : public QDialog {
  Q_OBJECT
 public:
  LineEditor(catalog::PricingEngine& engine, Prompter& prompter, const catalog::EditedLine* line,
             QWidget* parent = nullptr);
  void setType(char type);
  void setAccount(int32_t account);
  void setQuantity(double quantity);
  // The completed line, or nothing when the account does not exist.
  std::optional<catalog::EditedLine> line() const { return line_; }
  AccountPicker picker;
  void accept() override;

 private:
  void refresh();
  catalog::PricingEngine& engine_;
  Prompter& prompter_;
  QButtonGroup* type_;
  QLineEdit* account_;
  QLineEdit* quantity_;
  QLabel* description_;
  QLabel* unit_;
  QLabel* price_;
  QLabel* amount_;
  std::optional<catalog::EditedLine> line_;
};

class ConceptForm : public RecordForm {
  Q_OBJECT
 public:
  ConceptForm(Context& ctx, tables::Table& coba, FormRequest request, QWidget* parent = nullptr);
  ~ConceptForm() override;

  // The lines, their list and buttons.
  AnalysisEditor& editor() { return *editor_; }
  // IMPORTA: copies a catalogue concept's texts and lines into this one.
  void importConcept(int32_t account);

  GenericKeyPicker keyPicker;
  AccountPicker accountPicker;
  std::function<std::optional<int32_t>()> conceptPicker;                                   // BUSCA_CON
  std::function<std::optional<catalog::EditedLine>(const catalog::EditedLine*)> editLine;  // CAP_DET

 protected:
  void prime(tables::Record& r) override { r.setText("MIAS", "1"); }
  void afterLoad() override;
  bool validate() override;
  void beforeSave(tables::Record&) override { table_.setAuditUser(ctx_.login().user); }
  Status writeRecord(bool inserting) override;
  void fieldAccepted(const FieldSpec& field) override;
  bool otherChanges() const override;

 private:
  // A basic line that would make the concept contain itself is refused.
  bool refusesLoop(const catalog::EditedLine& line);
  catalog::BasePrices prices_;
  std::unique_ptr<catalog::PricingEngine> engine_;
  AnalysisEditor* editor_;
};

bool runConceptForm(BrowseWindow& list, tables::Table& coba, FormRequest request);

}  // namespace velmora::ui
