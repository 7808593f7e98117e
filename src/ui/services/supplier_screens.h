// The suppliers directory: CAP_PATR (the directory, with the web page, the
// e-mail and the promotions of a supplier), ACT_PATR (its maintenance),
// UP_PATR (the supplier form), CAP_TIPA and UP_TIPA (supplier types) and
// MUESTRA (the promotion pictures).
#pragma once

#include <QDialog>
#include <array>

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"

class QLabel;
class QPushButton;

namespace velmora::ui {

BrowseWindow* openSupplierDirectory(Context& ctx);    // CAP_PATR
BrowseWindow* openSupplierMaintenance(Context& ctx);  // ACT_PATR
BrowseSpec supplierTypesSpec();                       // CAP_TIPA

// The maker's web address, shown for a supplier without one: the setting
// "Fabricante/SitioWeb" of velmora.conf in the settings directory.
QString makerSite(const Context& ctx);

class SupplierForm : public RecordForm {
  Q_OBJECT
 public:
  SupplierForm(Context& ctx, tables::Table& patr, FormRequest request, QWidget* parent = nullptr);
  QString typeDescription() const;

 protected:
  void afterLoad() override;
  void fieldAccepted(const FieldSpec& field) override;

 private:
  void showTypeDescription();
  QLabel* typeDescription_;
};

// MUESTRA: the pictures of a supplier, 1 to 5; an empty or missing file ends
// the series.
class PromotionViewer : public QDialog {
  Q_OBJECT
 public:
  PromotionViewer(const std::array<QString, 5>& files, QWidget* parent = nullptr);
  int current() const { return current_; }
  QPushButton* backButton() const { return back_; }
  QPushButton* forwardButton() const { return forward_; }
  void forward();
  void back();

 private:
  bool exists(int picture) const;  // 1..5
  void show(int picture);

  std::array<QString, 5> files_;
  int current_ = 1;
  QLabel* image_;
  QPushButton* back_;
  QPushButton* forward_;
};

// The promotion files of a supplier record, resolved against the data directory.
std::array<QString, 5> promotionFiles(const Context& ctx, const tables::Record& patr);

}  // namespace velmora::ui
