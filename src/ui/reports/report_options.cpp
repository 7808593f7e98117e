#include "ui/reports/report_options.h"

#include "ui/catalog/concept_screens.h"
#include "ui/catalog/generic_keys.h"

namespace velmora::ui {

using namespace browse_button;

namespace {

// "Catálogo de Obra": the open work's rows, to pick a row number.
std::optional<int32_t> pickWorkRow(Context& ctx, QWidget* parent) {
  BrowseSpec s;
  s.procedure = "BUSCA_OBRA";
  s.title = "Catálogo de Obra";
  s.table = "COBR";
  s.tabs = {{"x CUENTA",
             "CTA_KEY",
             {{"CTA", "CTA", "n_6"},
              {"GEN", "GENE", "s3"},
              {"CLAVE", "LLAV", "s9"},
              {"D E S C R I P C I O N", "TEXT", "s50"}},
             "CTA:"}};
  s.buttons = kSelect;
  s.captions = {{kSelect, "&Selecciona"}};
  auto* list = new BrowseWindow(ctx, s, true);
  const auto chosen = pickFromList(list, parent, QSize(760, 480));
  if (!chosen) return std::nullopt;
  return static_cast<int32_t>(chosen->integer("CTA"));
}

}  // namespace

void askReportOptions(Context& ctx, OptionsDialog::Kind kind, ReportOptions& options, QWidget* parent) {
  const char* label = kind == OptionsDialog::Kind::kInputs     ? "INBA"
                      : kind == OptionsDialog::Kind::kConcepts ? "COBA"
                      : kind == OptionsDialog::Kind::kMachines ? "MABA"
                                                               : "COBR";
  auto table = ctx.session.installation.table(label, ctx.errors);
  const bool open = table->open().isOk();
  const auto exists = [&table, open](int32_t account) {
    if (!open) return false;
    table->rec().clear();
    table->rec().setInteger("CTA", account);
    return table->fetch(table->keyIndex("CTA_KEY")).found();
  };
  OptionsDialog::Lookup lookup;
  if (kind == OptionsDialog::Kind::kWork) {
    lookup = [&ctx, parent] { return pickWorkRow(ctx, parent); };
  } else {
    const char type = kind == OptionsDialog::Kind::kInputs ? 'I' : kind == OptionsDialog::Kind::kConcepts ? 'B' : 'C';
    lookup = [picker = modalAccountPicker(ctx, parent), type] { return picker(type); };
  }
  OptionsDialog dialog(kind, options, exists, lookup, parent);
  if (kind == OptionsDialog::Kind::kInputs) {
    dialog.checkKey = [&ctx, parent](const std::string& typed) {
      return checkGenericKey(ctx, "I", typed, modalGenericKeyPicker(ctx, parent));
    };
  }
  dialog.exec();
}

}  // namespace velmora::ui
