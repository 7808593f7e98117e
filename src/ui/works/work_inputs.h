// CAP_IOBR, the open work's inputs, and UpdateIobr, one work input.
#pragma once

#include <memory>

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"
#include "works/work.h"

namespace velmora::ui {

class WorkInputForm : public RecordForm {
  Q_OBJECT
 public:
  WorkInputForm(Context& ctx, tables::Table& iobr, FormRequest request, QWidget* parent = nullptr);

 protected:
  void prime(tables::Record& r) override;
  void afterLoad() override;
  bool validate() override;
  void beforeSave(tables::Record& r) override;
};

// CAP_IOBR on the open work; `obra` its header. `changed` is set when a work
// input was saved (the budget reprices its rows when the list closes).
// "Actualiza a Ultimos Valores" runs `updateToLatest`, which removes the
// copies of base inputs and recalculates, creating them again from the base
// (works::updateToLatestValues, in one transaction).
BrowseWindow* makeWorkInputList(Context& ctx, const works::WorkHeader& obra, std::shared_ptr<bool> changed,
                                std::function<void()> updateToLatest);

}  // namespace velmora::ui
