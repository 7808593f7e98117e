// What every screen needs: the session, the error reporter, the warning and
// question windows, and the frame that hosts windows.
#pragma once

#include <functional>

#include <QWidget>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "services/installation_use.h"
#include "shell/session.h"
#include "ui/warning_window.h"

namespace velmora::ui {

struct Context {
  shell::Session& session;
  ErrorReporter& errors;
  Prompter& prompter;
  // Shows a non-modal window (an MDI child in the main frame).
  std::function<void(QWidget*)> openWindow;
  // This program's use of the installation, which a restore takes alone.
  services::InstallationUse* installationUse = nullptr;

  const shell::Login& login() const { return session.login; }
};

// The form opening check of a protected form: shows each failing warning and
// returns false when the form must close.
bool formAccessAllowed(Context& ctx, int element, FormRequest request,
                       std::optional<int32_t> recordOwner = std::nullopt);
// The delete check of a protected list.
bool deleteAllowed(Context& ctx, int element);

// Where a screen's operation failed: the table layer has usually said why
// with a numbered message; when nothing was shown since `shownBefore`
// (errors.messagesShown() as the operation began), a warning headed `what`
// gives the status's reason, so that no failure passes in silence.
void warnIfUnexplained(Context& ctx, const Status& status, uint64_t shownBefore, const std::string& what);

}  // namespace velmora::ui
