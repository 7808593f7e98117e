// The options dialogs of the reports wired to the tables they list: the
// account lookups read the base inputs (REDIR), the base concepts (REDIR2),
// the machines (REDIR3) or the open work's rows (REDIR4), and open the
// matching list when a typed account does not exist.
#pragma once

#include "ui/context.h"
#include "ui/reports/report_dialogs.h"

namespace velmora::ui {

// Runs the dialog of `kind` on `options`; it closes only on OK.
void askReportOptions(Context& ctx, OptionsDialog::Kind kind, ReportOptions& options, QWidget* parent);

}  // namespace velmora::ui
