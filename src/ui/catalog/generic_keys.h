// Generic keys: CAP_GEN (the catalogue), BUSCA_GENI (the lookup filtered by
// type) and UpdateCLAG (the form); and the check every GENE entry makes.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/browse/browse_window.h"
#include "ui/browse/record_form.h"

namespace velmora::ui {

BrowseSpec genericKeysSpec();
// BUSCA_GENI; its picker filters it to the requested type ("I", "C", "H").
BrowseSpec genericKeyLookupSpec();

bool runGenericKeyForm(BrowseWindow& list, tables::Table& clag, FormRequest request);

// Shows `list` (made to pick) in a modal window; the record chosen, or
// nothing when the window was closed.
std::optional<tables::Record> pickFromList(BrowseWindow* list, QWidget* parent, QSize size);

// Picks a generic key of `type`, starting at `typed`; nothing when cancelled.
// Tests replace it to answer without a window.
using GenericKeyPicker = std::function<std::optional<std::string>(const std::string& type, const std::string& typed)>;
GenericKeyPicker modalGenericKeyPicker(Context& ctx, QWidget* parent);

// The button of a list's "x CLAVE" tab ("Muestra Claves", "Ver Claves") that
// opens the generic keys of `type`; the key chosen goes to the locator.
void addKeysButton(BrowseWindow* list, int tab, const QString& caption, const std::string& type);

// The check of a GENE entry: an existing key of the type (or a blank one) is
// kept; otherwise the picker opens and its choice is returned; nothing when
// the user cancelled (the form must stay on the field).
std::optional<std::string> checkGenericKey(Context& ctx, const std::string& type, const std::string& typed,
                                           const GenericKeyPicker& pick, bool forceLookup = false);

// The same at a form's OK, on the GENE field of `record`: true with the key
// written there, or false with the focus back on `entry`.
bool acceptGenericKey(Context& ctx, const std::string& type, tables::Record& record, QWidget* entry,
                      const GenericKeyPicker& pick);

}  // namespace velmora::ui
