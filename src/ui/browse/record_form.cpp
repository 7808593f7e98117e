#include "ui/browse/record_form.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "framework/text.h"
#include "tables/relations.h"
#include "ui/browse/table_model.h"

namespace velmora::ui {

namespace {

bool isTextType(tables::FieldType t) {
  return t == tables::FieldType::kString || t == tables::FieldType::kCString || t == tables::FieldType::kMemo;
}

}  // namespace

RecordForm::RecordForm(Context& ctx, tables::Table& table, FormRequest request, const QString& title,
                       const QStringList& tabs, std::vector<FieldSpec> fields, FormOptions options,
                       QWidget* parent)
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
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Aceptar");
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setText("&Cancelar");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &RecordForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RecordForm::reject);
  layout->addWidget(buttons);
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

QWidget* RecordForm::fieldWidget(const std::string& field, int element) const {
  const std::string_view bare = field.find(':') == std::string::npos ? field : field.substr(field.find(':') + 1);
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
  const tables::Record& r = table_.rec();
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    if (f.kind == FieldSpec::Kind::kCheck) {
      static_cast<QCheckBox*>(widgets_[i])->setChecked(!text::clip(r.text(f.field, f.element)).empty());
    } else if (f.kind == FieldSpec::Kind::kPassword) {
      static_cast<QLineEdit*>(widgets_[i])->clear();  // a stored password is never shown
    } else {
      const int slot = r.def().slot(f.field, f.element);
      const bool numeric = !isTextType(r.def().columns[slot].type);
      QString shown = formatField(r, f.field, f.element, f.picture);
      if (numeric && f.picture.find('B') != std::string::npos && shown.isEmpty()) shown.clear();
      static_cast<QLineEdit*>(widgets_[i])->setText(shown);
    }
  }
}

bool RecordForm::storeWidgets(tables::Record& r, bool warn) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    if (f.kind == FieldSpec::Kind::kPassword) continue;
    const int slot = r.def().slot(f.field, f.element);
    if (f.kind == FieldSpec::Kind::kCheck) {
      r.setTextAt(slot, static_cast<QCheckBox*>(widgets_[i])->isChecked() ? "1" : "");
      continue;
    }
    const std::string typed = static_cast<QLineEdit*>(widgets_[i])->text().toStdString();
    const auto type = r.def().columns[slot].type;
    if (isTextType(type)) {
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
    if (type == tables::FieldType::kReal) r.setRealAt(slot, *number);
    else if (type == tables::FieldType::kDecimal92) r.setIntegerAt(slot, std::llround(*number * 100));
    else r.setIntegerAt(slot, std::llround(*number));
  }
  return true;
}

bool RecordForm::changed() const {
  tables::Record now = loaded_;
  if (!storeWidgets(now, false)) return true;
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].kind == FieldSpec::Kind::kPassword && !static_cast<QLineEdit*>(widgets_[i])->text().isEmpty()) {
      return true;
    }
  }
  // Compare what the entries show, so that formatting alone is no change.
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    if (f.kind == FieldSpec::Kind::kPassword) continue;
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
      if (relations.remove(table_, tables::RelationManager::Confirm::kDontAsk)) {
        completed_ = true;
        return true;
      }
      if (ctx_.errors.askMessage(36, button::kYes | button::kNo | button::kCancel, button::kCancel) !=
          button::kYes) {
        return false;
      }
      table_.fetchById(table_.recordId());
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
    if (request_ == FormRequest::kInsert && !reserved_) s = table_.insert();
    else s = table_.update();
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
  completed_ = true;
  return true;
}

void RecordForm::leaveWithoutSaving() {
  if (request_ == FormRequest::kInsert && reserved_) table_.remove();  // give the number back
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
      case FormOptions::InsertAction::kClose:
        break;
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
