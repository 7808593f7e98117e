// The installation's options kept in `velmora.conf`, the settings file of the
// settings folder (beside the settings table; the data folder when there is
// no settings folder). Each station keeps its own, as it keeps its settings
// table. The file is edited by hand or by an installer; a missing file or key
// means the default.
//
//   [ImporteConLetra]
//   Presupuestos=legal   ; the budget reports write amounts in legal words
//                        ; (default "propia": the system's own wording)
//   Acentos=no           ; the legal words without accents (default "si")
//
// Thread rules: plain functions; the file is read at each call, so a change
// applies to the next report without starting the program again.
#pragma once

#include <filesystem>

#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::shell {

// How the installation writes amounts in words.
struct AmountWording {
  bool legalInBudgets = false;  // the budget reports use the bids' legal wording
  bool accentsDropped = false;  // the legal wording writes capitals without accents
};

// velmora.conf of `inst`.
std::filesystem::path confFile(const tables::Installation& inst);

// Reads the wording options of `inst`. A missing file gives the defaults; a
// file that cannot be read, or a value that is none of those allowed, is
// refused naming the file and the key (kInvalid, kIoError), `wording` left as
// it was.
Status readAmountWording(const tables::Installation& inst, AmountWording* wording);

}  // namespace velmora::shell
