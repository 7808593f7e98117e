// CAP_EST, the salary-zone list, and UpdateCONTROL, the zone form.
#pragma once

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"

namespace velmora::ui {

BrowseSpec zoneListSpec();
BrowseWindow* openZoneList(Context& ctx);

// Makes `zone` the current salary zone and computes its factors; tells the
// user when the zone is incomplete.
void chooseZone(Context& ctx, int zone);

class ZoneForm : public RecordForm {
  Q_OBJECT
 public:
  ZoneForm(Context& ctx, tables::Table& control, FormRequest request, QWidget* parent = nullptr);

 protected:
  bool validate() override;
  void beforeSave(tables::Record& r) override;
};

bool runZoneForm(BrowseWindow& list, tables::Table& control, FormRequest request);

}  // namespace velmora::ui
