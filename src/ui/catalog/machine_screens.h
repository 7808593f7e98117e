// CAP_COS, the machinery list, and UpdateMABA, the machine form that shows
// the hourly cost term by term as the user types.
#pragma once

#include "catalog/prices.h"
#include "catalog/pricing.h"

#include <memory>
#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"
#include "ui/catalog/generic_keys.h"

#include <functional>
#include <optional>

class QLabel;

namespace velmora::ui {

BrowseSpec machineListSpec();
// CAP_COS with the "Ver Claves" button of its "x CLAVE" tab.
BrowseWindow* makeMachineList(Context& ctx, bool picking = false);

class MachineForm : public RecordForm {
  Q_OBJECT
 public:
  MachineForm(Context& ctx, tables::Table& maba, FormRequest request, QWidget* parent = nullptr);
  // The four totals with the values on the screen (unrounded).
  catalog::HourlyCost shownTotals() const { return shown_; }
  GenericKeyPicker picker;
  std::function<std::optional<int32_t>(char type)> accountPicker;  // the input list or the basics

 protected:
  void fieldAccepted(const FieldSpec& field) override;
  void afterLoad() override { recompute(); }
  bool validate() override;
  void beforeSave(tables::Record&) override { table_.setAuditUser(ctx_.login().user); }

 private:
  void recompute();
  catalog::BasePrices prices_;
  catalog::MachineRates rates_;
  std::unique_ptr<catalog::PricingEngine> engine_;  // input prices and crews, read once
  catalog::HourlyCost shown_;
  QLabel* totals_[4] = {};
};

bool runMachineForm(BrowseWindow& list, tables::Table& maba, FormRequest request);

}  // namespace velmora::ui
