#include "ui/users_screens.h"

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "framework/dates.h"
#include "shell/login.h"
#include "shell/records.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

constexpr const char* kLegend[] = {"(0) SIN ACCESO",           "(1) SOLO VER", "(2) CAPTURAR", "(3) CAMBIOS",
                                   "(4) CAMBIOS DE SEGURIDAD", "(5) CIERRES"};

constexpr const char* kBudgetCaptions[] = {"PERSONAL:",
                                           "CLAVES GENERICAS:",
                                           "INSUMOS BASE DE DATOS:",
                                           "CONCEPTOS BASE DE DATOS:",
                                           "COSTO HORARIO B/DATOS:",
                                           "ZONAS DE SALARIO:",
                                           "CAPTURA DE OBRAS:",
                                           "INSUMOS DE OBRAS:",
                                           "CONCEPTOS DE LA OBRA:"};

// The tabs of the companion modules and the arrays they edit.
struct CompanionTab {
  const char* caption;
  const char* field;
};
constexpr CompanionTab kCompanions[] = {{"Pagos M/O", "ESTI"},    {"Cobros", "COBR"},     {"Materiales", "MATE"},
                                        {"Contabilidad", "SCON"}, {"Maquinaria", "EQUI"}, {"Ventas", "VENT"},
                                        {"Pagos Varios", "VARI"}};

std::vector<FieldSpec> userFields() {
  std::vector<FieldSpec> f = {
      {"No DE CTA:", "CTA", "n_6", 0, 1, FieldSpec::Kind::kEdit, true},
      {"NOMBRE:", "NOMB", "s30", 0},
      {"LOGIN:", "LOGIN", "s10", 0},
      {"CLAVE DE ACCESO:", "PASS", "s10", 0, 1, FieldSpec::Kind::kPassword},
  };
  for (int i = 1; i <= 9; ++i) f.push_back({kBudgetCaptions[i - 1], "PRES", "n1", 1, i});
  int tab = 2;
  for (const auto& c : kCompanions) {
    for (int i = 1; i <= 20; ++i) {
      const bool text = std::string(c.field) == "EQUI";
      f.push_back({QString("ELEMENTO %1:").arg(i), c.field, text ? "s1" : "n1", tab, i});
    }
    ++tab;
  }
  return f;
}

QStringList userTabs() {
  QStringList tabs{"General", "Presupuesto"};
  for (const auto& c : kCompanions) tabs << c.caption;
  return tabs;
}

}  // namespace

UserForm::UserForm(Context& ctx, tables::Table& pers, FormRequest request, QWidget* parent)
    : RecordForm(ctx, pers, request, "Actualizando Personal Administrativo", userTabs(), userFields(), {}, parent) {
  setObjectName("UP_EMPL");
  verification_ = new QLineEdit;
  verification_->setObjectName("verification");
  verification_->setMaxLength(10);
  verification_->setEchoMode(QLineEdit::Password);
  verification_->setEnabled(request == FormRequest::kInsert || request == FormRequest::kChange);
  addRow(0, "VERIFIQUE LA CLAVE:", verification_);
  connect(verification_, &QLineEdit::editingFinished, this, [this] { verified(true); });
  QString legend;
  for (const char* line : kLegend) legend += QString::fromUtf8(line) + "\n";
  auto* legendLabel = new QLabel(legend.trimmed());
  legendLabel->setObjectName("legend");
  addRow(1, "NIVELES:", legendLabel);
}

bool UserForm::verified(bool warn) {
  // The verification is compared with the password typed, 10 characters, case-sensitive.
  const QString typed = passwordText("PASS").left(10);
  if (verification_->text().left(10) == typed) return true;
  if (warn) {
    ctx_.prompter.warn({"LA CLAVE NO FUE VERIFICADA", "INTENTE NUEVAMENTE", "CON Ok CONTINUA..."});
    tabs()->setCurrentIndex(0);
    verification_->setFocus();
  }
  return false;
}

void UserForm::fieldAccepted(const FieldSpec&) {}

bool UserForm::validate() {
  if (!verified(true)) return false;
  // Every access level lies in 0 to 5.
  const tables::Record& r = table_.rec();
  for (const char* array : {"PRES", "ESTI", "MATE", "COBR", "VENT", "NOMI", "SCON", "VARI"}) {
    for (int i = 1; i <= 20; ++i) {
      if (r.integer(array, i) > 5) {
        ctx_.prompter.warn({"LOS NIVELES DE ACCESO VAN", "DEL 0 AL 5", "CON Ok CONTINUA..."});
        return false;
      }
    }
  }
  if (request_ == FormRequest::kInsert && passwordText("PASS").isEmpty()) {
    ctx_.prompter.warn({"DEBE DARLE UNA CLAVE DE ACCESO", "AL USUARIO", "CON Ok CONTINUA..."});
    return false;
  }
  return true;
}

void UserForm::beforeSave(tables::Record& r) {
  const QString typed = passwordText("PASS");
  if (!typed.isEmpty()) shell::setUserPassword(r, shell::storedUserPassword(typed.toStdString()));
  table_.setAuditUser(ctx_.login().user);
}

bool runUserForm(BrowseWindow& list, tables::Table& pers, FormRequest request) {
  Context& ctx = list.context();
  const std::optional<int32_t> owner =
      request == FormRequest::kInsert ? std::nullopt : std::optional<int32_t>(shell::userOf(pers.rec()).account);
  if (!formAccessAllowed(ctx, shell::element::kUsers, request, owner)) return false;
  UserForm form(ctx, pers, request, &list);
  return form.run();
}

BrowseSpec usersListSpec() {
  BrowseSpec s;
  s.procedure = "CAP_EMPL";
  s.title = "Catálogo del Personal Administrativo";
  s.table = "PERS";
  const std::vector<ColumnSpec> columns = {{"CTA", "CTA", "n_6"}, {"N O M B R E", "NOMB", "s30"}};
  s.tabs = {{"x Cuenta", "CTA_KEY", columns}, {"Alfabético", "NOM_KEY", columns}};
  s.buttons = kSelect | kView | kInsert | kChange | kDelete | kQuery | kClose;
  s.captions = {{kSelect, "Selecciona"}, {kView, "Ver"},     {kInsert, "Alta"},
                {kChange, "Cambia"},     {kDelete, "Borra"}, {kClose, "Cierra"}};
  s.deleteElement = shell::element::kUsers;
  s.form = runUserForm;
  return s;
}

BrowseWindow* openUsersList(Context& ctx) {
  auto* list = new BrowseWindow(ctx, usersListSpec());
  ctx.openWindow(list);
  return list;
}

}  // namespace velmora::ui
