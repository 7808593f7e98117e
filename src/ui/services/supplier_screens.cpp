#include "ui/services/supplier_screens.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <map>
#include <memory>

#include "framework/text.h"
#include "shell/documents.h"
#include "shell/records.h"
#include "ui/catalog/generic_keys.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

QString clipped(const std::string& s) { return QString::fromStdString(text::clip(s)); }

// Type number to description, read once when a list opens.
using TypeNames = std::map<int64_t, QString>;
std::shared_ptr<TypeNames> readTypeNames(Context& ctx) {
  auto names = std::make_shared<TypeNames>();
  auto tipa = ctx.session.installation.table("TIPA", ctx.errors);
  if (!tipa->open()) return names;
  tipa->setOrder(tipa->keyIndex("CTA_KEY"));
  while (tipa->next().found()) {
    const shell::SupplierType type = shell::supplierTypeOf(tipa->rec());
    (*names)[type.account] = clipped(type.description);
  }
  return names;
}

QString typeDescription(Context& ctx, int64_t type) {
  auto tipa = ctx.session.installation.table("TIPA", ctx.errors);
  if (!tipa->open()) return {};
  tipa->rec().setInteger("CTA", type);
  if (!tipa->fetch(tipa->keyIndex("CTA_KEY")).found()) return {};
  return clipped(shell::supplierTypeOf(tipa->rec()).description);
}

// The columns of a tab with the column of its sort field first.
std::vector<ColumnSpec> sortFieldFirst(std::vector<ColumnSpec> columns, const std::string& field) {
  std::stable_partition(columns.begin(), columns.end(), [&](const ColumnSpec& c) { return c.field == field; });
  return columns;
}

bool runSupplierForm(BrowseWindow& list, tables::Table& patr, FormRequest request) {
  SupplierForm form(list.context(), patr, request, &list);
  return form.run();
}

bool runTypeForm(BrowseWindow& list, tables::Table& tipa, FormRequest request) {
  RecordForm form(list.context(), tipa, request, "Actualizando Tipos de Patrocinador", {"General"},
                  {{"CTA:", "CTA", "n_6", 0, 1, FieldSpec::Kind::kEdit, true}, {"DESCRIPCION:", "DESC", "s30"}}, {},
                  &list);
  form.setObjectName("UP_TIPA");
  return form.run();
}

void openWebPage(BrowseWindow* list) {
  const int row = list->currentRow();
  if (row < 0) return;
  shell::Supplier supplier = shell::supplierOf(list->model().recordAt(row));
  const QString web = clipped(supplier.web);
  if (web.isEmpty()) {
    Context& ctx = list->context();
    ctx.prompter.warn({"LO SENTIMOS..... NO TENEMOS", "REGISTRADO EL WEB DEL PROVEEDOR", "CON Ok CONTINUA..."});
    // Shown with the maker's address from now on, not saved.
    supplier.web = makerSite(ctx).toStdString();
    list->model().setRecordAt(row, shell::supplierRecord(supplier));
    list->view().setFocus();
    return;
  }
  QDesktopServices::openUrl(QUrl::fromUserInput(web));
}

void sendMail(BrowseWindow* list) {
  const auto r = list->currentRecord();
  if (!r) return;
  // The mail program may change the current directory; it is put back.
  const QString here = QDir::currentPath();
  QUrl mail;
  mail.setScheme("mailto");
  mail.setPath(clipped(shell::supplierOf(*r).mail));
  QDesktopServices::openUrl(mail);
  QDir::setCurrent(here);
}

void showPromotions(BrowseWindow* list) {
  const auto shown = list->currentRecord();
  if (!shown) return;
  Context& ctx = list->context();
  // The supplier is read again: another station may have changed its pictures.
  auto patr = ctx.session.installation.table("PATR", ctx.errors);
  if (!patr->open()) return;
  patr->rec().setInteger("CTA", shell::supplierOf(*shown).account);
  if (!patr->fetch(patr->keyIndex("CTA_KEY")).found()) return;
  const auto files = promotionFiles(ctx, patr->rec());
  if (files[0].isEmpty() || !QFileInfo(files[0]).isFile()) {
    ctx.prompter.warn({"EL PATROCINADOR NO TIENE", "PROMOCIONES EN ESTE", "MOMENTO ..."});
    return;
  }
  PromotionViewer viewer(files, list);
  viewer.exec();
}

}  // namespace

QString makerSite(const Context& ctx) {
  const auto dir = ctx.session.installation.settingsDir.empty() ? ctx.session.installation.dataDir
                                                                : ctx.session.installation.settingsDir;
  QSettings settings(QString::fromStdString((dir / "velmora.conf").string()), QSettings::IniFormat);
  return settings.value("Fabricante/SitioWeb", QString(shell::kMakerSite)).toString();
}

std::array<QString, 5> promotionFiles(const Context& ctx, const tables::Record& patr) {
  std::array<QString, 5> files;
  const QDir dataDir(QString::fromStdString(ctx.session.installation.dataDir.string()));
  const shell::Supplier supplier = shell::supplierOf(patr);
  for (size_t i = 0; i < files.size(); ++i) {
    const QString name = clipped(supplier.promotions[i]);
    if (!name.isEmpty()) files[i] = QDir::isAbsolutePath(name) ? name : dataDir.filePath(name);
  }
  return files;
}

BrowseWindow* openSupplierDirectory(Context& ctx) {
  const auto names = readTypeNames(ctx);
  // Widths in characters, so that the eight columns fit a 1024-pixel frame.
  ColumnSpec typeName{"TIPO DE PROVEEDOR", "TIA:DESC", "s30", 1, 28};
  typeName.value = [names](const tables::Record& r) {
    const auto it = names->find(shell::supplierOf(r).type);
    return it == names->end() ? QString() : it->second;
  };
  const std::vector<ColumnSpec> columns = {
      {"CTA", "CTA", "n_6", 1, 4},        {"N O M B R E", "NOMB", "s30", 1, 29}, typeName,
      {"TELEFONO", "TELE", "s15", 1, 11}, {"TELEFONO", "TEL2", "s15", 1, 11},    {"FAX", "FAX", "s15", 1, 11},
      {"CIUD", "CIUD", "s30", 1, 16},     {"TIPO", "TIPO", "n_6", 1, 4}};
  BrowseSpec s;
  s.procedure = "CAP_PATR";
  s.title = "Mostrando Patrocinadores";
  s.table = "PATR";
  s.tabs = {{"x CUENTA", "CTA_KEY", sortFieldFirst(columns, "CTA")},
            {"ALFABETICO", "DES_KEY", sortFieldFirst(columns, "NOMB")},
            {"x TIPO", "TIP_KEY", sortFieldFirst(columns, "TIPO")},
            {"x CIUDAD", "CIU_KEY", sortFieldFirst(columns, "CIUD")}};
  s.buttons = kSelect | kView | kDelete | kClose;
  s.captions = {{kSelect, "&Selecciona"}, {kView, "&Ver Registro"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.form = runSupplierForm;
  auto* list = new BrowseWindow(ctx, s);
  QObject::connect(list->addButtonAfter(kView, "&Página Web", "web"), &QPushButton::clicked, list,
                   [list] { openWebPage(list); });
  QObject::connect(list->addButtonAfter(kView, "&Enviar e-Mail", "mail"), &QPushButton::clicked, list,
                   [list] { sendMail(list); });
  QObject::connect(list->addButtonAfter(kView, "&Promociones", "promotions"), &QPushButton::clicked, list,
                   [list] { showPromotions(list); });
  ctx.openWindow(list);
  return list;
}

BrowseWindow* openSupplierMaintenance(Context& ctx) {
  const std::vector<ColumnSpec> columns = {
      {"CTA", "CTA", "n_6"},    {"TIPO", "TIPO", "n-14"}, {"NOMB", "NOMB", "s30"},
      {"DIRE", "DIRE", "s30"},  {"POBL", "POBL", "s30"},  {"CIUD", "CIUD", "s30"},
      {"CODI", "CODI", "n-14"}, {"TELE", "TELE", "s15"},  {"TEL 2", "TEL2", "s15"}};
  BrowseSpec s;
  s.procedure = "ACT_PATR";
  s.title = "Mostrando Archivo";
  s.table = "PATR";
  s.tabs = {{"x CUENTA", "CTA_KEY", columns}, {"ALFABETICO", "DES_KEY", {}}, {"x TIPO", "TIP_KEY", {}}};
  s.buttons = kSelect | kView | kInsert | kChange | kDelete | kClose;
  s.captions = {{kSelect, "&Selecciona"}, {kView, "&Ver"},     {kInsert, "&Alta"},
                {kChange, "&Cambia"},     {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.form = runSupplierForm;
  auto* list = new BrowseWindow(ctx, s);
  ctx.openWindow(list);
  return list;
}

BrowseSpec supplierTypesSpec() {
  const std::vector<ColumnSpec> columns = {{"CTA", "CTA", "n_6"}, {"D E S C R I P C I O N", "DESC", "s30"}};
  BrowseSpec s;
  s.procedure = "CAP_TIPA";
  s.title = "Mostrando Tipos de Patrocinadores";
  s.table = "TIPA";
  s.tabs = {{"x CUENTA", "CTA_KEY", columns}, {"ALFABETICO", "DES_KEY", columns}};
  s.buttons = kSelect | kInsert | kChange | kDelete | kClose;
  s.captions = {
      {kSelect, "&Selecciona"}, {kInsert, "&Alta"}, {kChange, "&Cambia"}, {kDelete, "&Borra"}, {kClose, "C&ierra"}};
  s.form = runTypeForm;
  return s;
}

namespace {
std::vector<FieldSpec> supplierFields() {
  std::vector<FieldSpec> f = {
      {"CTA:", "CTA", "n_6", 0, 1, FieldSpec::Kind::kEdit, true},
      {"TIPO:", "TIPO", "n_6"},
      {"NOMBRE:", "NOMB", "s30"},
      {"DIRECCION:", "DIRE", "s30"},
      {"", "POBL", "s30"},
      {"CODIGO:", "CODI", "n05"},
  };
  FieldSpec city{"", "CIUD", "s30"};
  city.sameRow = true;
  f.push_back(city);
  f.push_back({"TELEFONOS:", "TELE", "s15"});
  FieldSpec second{"", "TEL2", "s15"};
  second.sameRow = true;
  f.push_back(second);
  f.push_back({"FAX:", "FAX", "s15"});
  f.push_back({"MAIL:", "MAIL", "s80"});
  f.push_back({"PAGINA WEB:", "WEB", "s80"});
  f.push_back({"COMENTARIOS:", "COME", "s500", 1, 1, FieldSpec::Kind::kMemo});
  return f;
}
}  // namespace

SupplierForm::SupplierForm(Context& ctx, tables::Table& patr, FormRequest request, QWidget* parent)
    : RecordForm(ctx, patr, request, "Actualizando Proveedores", {"General", "Comentarios"}, supplierFields(), {},
                 parent) {
  setObjectName("UP_PATR");
  const bool editable = request == FormRequest::kInsert || request == FormRequest::kChange;
  auto* lookup = new QPushButton("...");
  lookup->setObjectName("typeLookup");
  lookup->setFixedWidth(32);
  lookup->setEnabled(editable);
  addBesideField("TIPO", lookup);
  typeDescription_ = new QLabel;
  typeDescription_->setObjectName("typeDescription");
  typeDescription_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(40, 'M')) / 2);
  addBesideField("TIPO", typeDescription_);
  connect(lookup, &QPushButton::clicked, this, [this] {
    auto* list = new BrowseWindow(ctx_, supplierTypesSpec(), true);
    const int row = list->model().locate(fieldText("TIPO").trimmed());
    list->selectRow(row >= 0 ? row : 0);
    if (auto chosen = pickFromList(list, this, QSize(520, 400))) {
      setFieldText("TIPO", QString::number(chosen->integer("CTA")));
      showTypeDescription();
    }
  });
}

QString SupplierForm::typeDescription() const { return typeDescription_->text(); }

void SupplierForm::showTypeDescription() {
  bool ok = false;
  const qlonglong type = fieldText("TIPO").trimmed().toLongLong(&ok);
  typeDescription_->setText(ok ? velmora::ui::typeDescription(ctx_, type) : QString());
}

void SupplierForm::afterLoad() { showTypeDescription(); }

void SupplierForm::fieldAccepted(const FieldSpec& field) {
  if (field.field == "TIPO") showTypeDescription();
}

PromotionViewer::PromotionViewer(const std::array<QString, 5>& files, QWidget* parent)
    : QDialog(parent), files_(files) {
  setObjectName("MUESTRA");
  setWindowTitle("Promociones");
  image_ = new QLabel;
  image_->setObjectName("IMAGE1");
  image_->setAlignment(Qt::AlignCenter);
  image_->setMinimumSize(480, 320);
  back_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowLeft), "");
  back_->setObjectName("BUTTON2");
  forward_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowRight), "");
  forward_->setObjectName("BUTTON3");
  auto* close = new QPushButton("&Cierra");
  close->setObjectName("close");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(image_, 1);
  auto* row = new QHBoxLayout;
  row->addWidget(back_);
  row->addWidget(forward_);
  row->addStretch();
  row->addWidget(close);
  layout->addLayout(row);
  connect(back_, &QPushButton::clicked, this, &PromotionViewer::back);
  connect(forward_, &QPushButton::clicked, this, &PromotionViewer::forward);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  show(1);
  back_->setEnabled(false);
  forward_->setEnabled(exists(2));
}

bool PromotionViewer::exists(int picture) const {
  // The series ends at the first empty or missing file.
  for (int i = 1; i <= picture; ++i) {
    if (i > 5 || files_[i - 1].isEmpty() || !QFileInfo(files_[i - 1]).isFile()) return false;
  }
  return true;
}

void PromotionViewer::show(int picture) {
  current_ = picture;
  const QPixmap pixmap(files_[picture - 1]);
  image_->setPixmap(pixmap.isNull() ? pixmap
                                    : pixmap.scaled(QSize(640, 420), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void PromotionViewer::forward() {
  if (current_ >= 5 || !exists(current_ + 1)) return;
  show(current_ + 1);
  back_->setEnabled(true);
  forward_->setEnabled(current_ < 5 && exists(current_ + 1));
}

void PromotionViewer::back() {
  if (current_ <= 1) return;
  show(current_ - 1);
  forward_->setEnabled(true);
  back_->setEnabled(current_ > 1);
}

}  // namespace velmora::ui
