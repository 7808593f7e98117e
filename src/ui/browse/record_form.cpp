#include "ui/browse/record_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "tables/relations.h"
#include "ui/browse/table_model.h"

namespace velmora::ui {

namespace {}  // namespace

RecordForm::RecordForm(Context& ctx, tables::Table& table, FormRequest request, const QString& title,
                       const QStringList& tabs, std::vector<FieldSpec> fields, FormOptions options, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      table_(table),
      request_(request),
      options_(options),
      fields_(std::move(fields)),
      loaded_(table.def()) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget;
  tabs_->setObjectName("tabs");
  for (const QString& caption : tabs) {
    auto* page = new QWidget;
    page->setLayout(new QFormLayout);
    tabs_->addTab(page, caption);
  }
  layout->addWidget(tabs_);
  for (const FieldSpec& f : fields_) {
    QWidget* w;
    if (f.kind == FieldSpec::Kind::kCheck) {
      w = new QCheckBox;
    } else if (f.kind == FieldSpec::Kind::kMemo) {
      auto* memo = new QPlainTextEdit;
      memo->setMaximumHeight(80);
      w = memo;
    } else if (f.kind == FieldSpec::Kind::kRadio) {
      auto* group = new QGroupBox;
      auto* row = new QHBoxLayout(group);
      auto* buttons = new QButtonGroup(group);
      int id = 0;
      for (const auto& [caption, value] : f.options) {
        auto* radio = new QRadioButton(caption);
        radio->setObjectName(QString::fromStdString("option_" + value));
        buttons->addButton(radio, id++);
        row->addWidget(radio);
      }
      connect(buttons, &QButtonGroup::idClicked, this, [this, f] { fieldAccepted(f); });
      w = group;
    } else {
      auto* edit = new QLineEdit;
      const auto pic = picture::parse(f.picture);
      if (pic.kind == 's' && pic.width > 0) edit->setMaxLength(pic.width);
      if (pic.kind == 'n') edit->setAlignment(Qt::AlignRight);
      if (f.kind == FieldSpec::Kind::kPassword) edit->setEchoMode(QLineEdit::Password);
      connect(edit, &QLineEdit::editingFinished, this, [this, f] { fieldAccepted(f); });
      w = edit;
    }
    w->setObjectName(f.objectName.isEmpty()
                         ? QString::fromStdString(f.field + (f.element > 1 ? "_" + std::to_string(f.element) : ""))
                         : f.objectName);
    w->setEnabled(!f.readOnly && request_ != FormRequest::kView && request_ != FormRequest::kDelete);
    addRow(f.tab, f.label, w, f.sameRow);
    widgets_.push_back(w);
    rows_.push_back(lastRow_);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Aceptar");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancelar");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &RecordForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RecordForm::reject);
  layout->addWidget(buttons);
  auto* recall = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Apostrophe), this);
  connect(recall, &QShortcut::activated, this, &RecordForm::recallFocusedField);
}

namespace {
// The record saved last in each table while the program runs, for recall.
std::map<std::string, tables::Record>& lastSaved() {
  static std::map<std::string, tables::Record> records;
  return records;
}
}  // namespace

void RecordForm::recallFocusedField() {
  auto it = lastSaved().find(table_.def().storeName);
  if (it == lastSaved().end()) return;
  for (size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i]->isAncestorOf(focusWidget()) || widgets_[i] == focusWidget()) {
      if (widgets_[i]->isEnabled()) loadWidget(i, it->second);
      return;
    }
  }
}

QString RecordForm::fieldText(const std::string& field, int element) const {
  QWidget* w = fieldWidget(field, element);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) return memo->toPlainText();
  return {};
}

void RecordForm::setFieldText(const std::string& field, const QString& text, int element) {
  QWidget* w = fieldWidget(field, element);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(text);
  if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) memo->setPlainText(text);
}

void RecordForm::addRow(int tab, const QString& label, QWidget* widget, bool besidePrevious) {
  auto* caption = new QLabel(label);
  caption->setBuddy(widget);
  if (besidePrevious && lastRow_) {
    lastRow_->addWidget(caption);
    lastRow_->addWidget(widget);
    return;
  }
  auto* form = static_cast<QFormLayout*>(tabs_->widget(tab)->layout());
  lastRow_ = new QHBoxLayout;
  lastRow_->addWidget(widget);
  form->addRow(caption, lastRow_);
}

void RecordForm::addBesideField(const std::string& field, QWidget* widget, int element) {
  QWidget* entry = fieldWidget(field, element);
  for (size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i] == entry) rows_[i]->addWidget(widget);
  }
}

QWidget* RecordForm::fieldWidget(const std::string& field, int element) const {
  const std::string_view name(field);
  const std::string_view bare = name.substr(name.find(':') == std::string_view::npos ? 0 : name.find(':') + 1);
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].field == bare && fields_[i].element == element) return widgets_[i];
  }
  return nullptr;
}

QString RecordForm::passwordText(const std::string& field) const {
  auto* edit = qobject_cast<QLineEdit*>(fieldWidget(field));
  return edit ? edit->text() : QString();
}

void RecordForm::loadWidgets() {
  for (size_t i = 0; i < fields_.size(); ++i) loadWidget(i, table_.rec());
  afterLoad();
}

// The stored value of a field as text: the text itself, or the number.
static std::string storedValue(const tables::Record& r, const FieldSpec& f) {
  const int slot = r.def().slot(f.field, f.element);
  if (tables::isTextType(r.def().columns[slot].type)) return text::clip(r.textAt(slot));
  return std::to_string(r.integerAt(slot));
}

void RecordForm::loadWidget(size_t i, const tables::Record& r) {
  const FieldSpec& f = fields_[i];
  switch (f.kind) {
    case FieldSpec::Kind::kCheck:
      static_cast<QCheckBox*>(widgets_[i])->setChecked(!text::clip(r.text(f.field, f.element)).empty());
      break;
    case FieldSpec::Kind::kPassword:
      static_cast<QLineEdit*>(widgets_[i])->clear();  // a stored password is never shown
      break;
    case FieldSpec::Kind::kMemo:
      static_cast<QPlainTextEdit*>(widgets_[i])->setPlainText(QString::fromStdString(r.text(f.field, f.element)));
      break;
    case FieldSpec::Kind::kRadio: {
      const std::string value = storedValue(r, f);
      auto* group = widgets_[i]->findChild<QButtonGroup*>();
      for (size_t k = 0; k < f.options.size(); ++k) {
        if (f.options[k].second == value) group->button(static_cast<int>(k))->setChecked(true);
      }
      break;
    }
    default: static_cast<QLineEdit*>(widgets_[i])->setText(formatField(r, f.field, f.element, f.picture)); break;
  }
}

bool RecordForm::storeWidgets(tables::Record& r, bool warn) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    if (f.kind == FieldSpec::Kind::kPassword) continue;
    const int slot = r.def().slot(f.field, f.element);
    const auto type = r.def().columns[slot].type;
    if (f.kind == FieldSpec::Kind::kCheck) {
      r.setTextAt(slot, static_cast<QCheckBox*>(widgets_[i])->isChecked() ? "1" : "");
      continue;
    }
    if (f.kind == FieldSpec::Kind::kMemo) {
      r.setTextAt(slot, static_cast<QPlainTextEdit*>(widgets_[i])->toPlainText().toStdString());
      continue;
    }
    if (f.kind == FieldSpec::Kind::kRadio) {
      const int chosen = widgets_[i]->findChild<QButtonGroup*>()->checkedId();
      if (chosen < 0) continue;
      const std::string& value = f.options[chosen].second;
      if (tables::isTextType(type)) r.setTextAt(slot, value);
      else r.setIntegerAt(slot, std::atoll(value.c_str()));
      continue;
    }
    const std::string typed = static_cast<QLineEdit*>(widgets_[i])->text().toStdString();
    if (tables::isTextType(type)) {
      r.setTextAt(slot, typed);
      continue;
    }
    const bool isDate = !f.picture.empty() && f.picture[0] == 'd';
    if (isDate) {
      const auto day = picture::parseDate(typed);
      if (!day) {
        if (warn) {
          ctx_.prompter.warn({"LA FECHA NO ES VALIDA", f.label.toStdString(), "CON Ok CONTINUA..."});
          widgets_[i]->setFocus();
        }
        return false;
      }
      r.setIntegerAt(slot, *day);
      continue;
    }
    const auto number = picture::parseNumber(typed);
    if (!number) {
      if (warn) {
        ctx_.prompter.warn({"EL VALOR DEBE SER NUMERICO", f.label.toStdString(), "CON Ok CONTINUA..."});
        widgets_[i]->setFocus();
      }
      return false;
    }
    if (f.price) {
      if (const std::string why = money::priceProblem(*number); !why.empty()) {
        if (warn) {
          ctx_.prompter.warn({"EL PRECIO NO ES VALIDO", f.label.toStdString(), text::upper(why)});
          widgets_[i]->setFocus();
        }
        return false;
      }
    }
    if (type == tables::FieldType::kReal) {
      r.setRealAt(slot, *number);
      continue;
    }
    const double scaled = type == tables::FieldType::kDecimal92 ? *number * 100 : *number;
    const auto range = tables::integerRange(type);
    if (range && !(scaled >= static_cast<double>(range->min) && scaled <= static_cast<double>(range->max))) {
      if (warn) {
        const double unit = type == tables::FieldType::kDecimal92 ? 100.0 : 1.0;
        const int decimals = type == tables::FieldType::kDecimal92 ? 2 : 0;
        ctx_.prompter.warn({"EL VALOR ESTA FUERA DE RANGO", f.label.toStdString(),
                            "DEBE SER ENTRE " + text::formatFixed(range->min / unit, decimals) + " Y " +
                                text::formatFixed(range->max / unit, decimals)});
        widgets_[i]->setFocus();
      }
      return false;
    }
    r.setIntegerAt(slot, std::llround(scaled));
  }
  return true;
}

bool RecordForm::changed() const {
  if (otherChanges()) return true;
  tables::Record now = loaded_;
  if (!storeWidgets(now, false)) return true;
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].kind == FieldSpec::Kind::kPassword && !static_cast<QLineEdit*>(widgets_[i])->text().isEmpty()) {
      return true;
    }
    if ((fields_[i].kind == FieldSpec::Kind::kMemo || fields_[i].kind == FieldSpec::Kind::kRadio ||
         fields_[i].kind == FieldSpec::Kind::kCheck) &&
        storedValue(now, fields_[i]) != storedValue(loaded_, fields_[i])) {
      return true;
    }
  }
  // Compare what the entries show, so that formatting alone is no change.
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    if (f.kind != FieldSpec::Kind::kEdit) continue;
    if (formatField(now, f.field, f.element, f.picture.empty() ? "s" : f.picture) !=
        formatField(loaded_, f.field, f.element, f.picture.empty() ? "s" : f.picture)) {
      return true;
    }
  }
  return false;
}

void RecordForm::focusFirstField() {
  for (QWidget* w : widgets_) {
    if (w->isEnabled()) {
      tabs_->setCurrentWidget(w->parentWidget());
      w->setFocus();
      return;
    }
  }
}

void RecordForm::primeInsert() {
  written_ = false;
  table_.rec().clear();
  table_.forgetRecord();
  prime(table_.rec());
  // An auto-numbered table takes its number now, so that it is reserved
  // while the user fills the form.
  bool autoNumbered = false;
  for (const auto& k : table_.def().keys) autoNumbered |= (k.flags & tables::kAutoNumber) != 0;
  reserved_ = false;
  if (autoNumbered && table_.insert()) reserved_ = true;
  loaded_ = table_.rec();
  loadWidgets();
}

bool RecordForm::start() {
  if (request_ == FormRequest::kInsert) {
    primeInsert();
  } else {
    loaded_ = table_.rec();
    loadWidgets();
  }
  return true;
}

bool RecordForm::run() {
  if (request_ == FormRequest::kDelete) {
    if (ctx_.errors.raise(11) != result::kGoOn) return false;
    tables::RelationManager relations(ctx_.session.installation, ctx_.errors);
    for (;;) {
      if (relations.remove(table_)) {
        completed_ = true;
        return true;
      }
      if (ctx_.errors.askMessage(36, button::kYes | button::kNo | button::kCancel, button::kCancel) != button::kYes) {
        return false;
      }
      (void)table_.fetchById(table_.recordId());  // shows what is stored now, or nothing
    }
  }
  if (!start()) return false;
  focusFirstField();
  exec();
  return completed_;
}

bool RecordForm::save() {
  tables::Record& r = table_.rec();
  tables::Record typed = r;
  if (!storeWidgets(typed, true)) return false;
  r = typed;
  if (!validate()) return false;
  beforeSave(r);
  for (;;) {
    Status s;
    s = writeRecord(request_ == FormRequest::kInsert && !reserved_ && !written_);
    if (s) break;
    if (s.is(Status::Code::kConflict)) {  // the other station's values are shown now
      loaded_ = table_.rec();
      loadWidgets();
      return false;
    }
    if (s.is(Status::Code::kDuplicateKey) || s.is(Status::Code::kInvalid)) return false;
    const int answer = ctx_.errors.askMessage(37, button::kYes | button::kNo | button::kCancel, button::kCancel);
    if (answer == button::kYes) continue;
    if (answer == button::kNo) leaveWithoutSaving();
    return false;
  }
  reserved_ = false;  // the record is written: leaving now keeps it
  written_ = true;
  loaded_ = table_.rec();  // what is stored now
  if (!afterSave()) return false;
  lastSaved().insert_or_assign(table_.def().storeName, table_.rec());
  completed_ = true;
  return true;
}

void RecordForm::leaveWithoutSaving() {
  if (request_ == FormRequest::kInsert && reserved_) (void)table_.remove();  // give the number back
  reserved_ = false;
  QDialog::reject();
}

void RecordForm::accept() {
  if (request_ == FormRequest::kView) {
    QDialog::accept();
    return;
  }
  if (!save()) return;
  if (request_ == FormRequest::kInsert) {
    switch (options_.insertAction) {
      case FormOptions::InsertAction::kClose: break;
      case FormOptions::InsertAction::kAskAnother:
        if (ctx_.errors.raise(3) != result::kGoOn) break;
        [[fallthrough]];
      case FormOptions::InsertAction::kNext:
        primeInsert();
        focusFirstField();
        return;
    }
  }
  QDialog::accept();
}

void RecordForm::reject() {
  const bool editing = request_ == FormRequest::kInsert || request_ == FormRequest::kChange;
  if (!editing || !changed()) {
    leaveWithoutSaving();
    return;
  }
  if (options_.saveOnLeave && options_.askBeforeSaving) {
    const int answer = ctx_.errors.askMessage(38, button::kYes | button::kNo | button::kCancel, button::kCancel);
    if (answer == button::kYes) {
      accept();
    } else if (answer == button::kNo) {
      leaveWithoutSaving();
    } else {
      focusFirstField();
    }
    return;
  }
  if (options_.saveOnLeave) {
    accept();
    return;
  }
  if (ctx_.errors.raise(10) == result::kGoOn) {
    leaveWithoutSaving();
  } else {
    focusFirstField();
  }
}

}  // namespace velmora::ui
