// CAP_EMPL, the users list, and UP_EMPL, the user form with its tabs of
// access levels and the verification of the password.
#pragma once

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"

namespace velmora::ui {

BrowseSpec usersListSpec();
BrowseWindow* openUsersList(Context& ctx);

class UserForm : public RecordForm {
  Q_OBJECT
 public:
  UserForm(Context& ctx, tables::Table& pers, FormRequest request, QWidget* parent = nullptr);
  QLineEdit* verification() const { return verification_; }

 protected:
  bool validate() override;
  void beforeSave(tables::Record& r) override;
  void fieldAccepted(const FieldSpec& field) override;

 private:
  bool verified(bool warn);
  QLineEdit* verification_;
};

// The user form as the list opens it, with the access checks of element 1.
bool runUserForm(BrowseWindow& list, tables::Table& pers, FormRequest request);

}  // namespace velmora::ui
