// CAP_INS, the base-input catalogue, and UpdateINBA, the input form with its
// five zone prices.
#pragma once

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"
#include "ui/catalog/generic_keys.h"

class QHBoxLayout;
class QLabel;

namespace velmora::ui {

// The "x PALABRA" tab of a list: the entry "TEXTO:" whose word filters the
// list on either description line while tab `wordTab` is shown. Returns the
// row of the entry so the screen can add beside it.
QHBoxLayout* addWordFilter(BrowseWindow* list, int wordTab, const std::string& first, const std::string& second);

// The list as declared; PRECIO and ULTIMO $ show the entries of `zone`.
// The price and date columns follow the current salary zone as rows are shown.
BrowseSpec inputListSpec(std::function<int()> currentZone);
// The catalogue window with its word filter, count and description lines.
BrowseWindow* makeInputList(Context& ctx, bool picking = false);

class InputForm : public RecordForm {
  Q_OBJECT
 public:
  InputForm(Context& ctx, tables::Table& inba, FormRequest request, QWidget* parent = nullptr);
  GenericKeyPicker picker;  // the generic-key lookup (a window unless a test replaces it)

 protected:
  void prime(tables::Record& r) override;
  bool validate() override;
  void beforeSave(tables::Record& r) override;
  void fieldAccepted(const FieldSpec& field) override;
};

bool runInputForm(BrowseWindow& list, tables::Table& inba, FormRequest request);

}  // namespace velmora::ui
