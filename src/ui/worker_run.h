// Long runs (CALCULA, the repricing after the work inputs change) off the
// window's thread: the window keeps painting, a progress dialog shows the
// row being priced, and its "Cancela" button stops the run, which then
// writes nothing. The run's messages are shown by the window's own
// presenter while the run waits for the answer.
#pragma once

#include <functional>
#include <string>

#include <QString>
#include <QWidget>

#include "framework/error_reporter.h"
#include "framework/status.h"

namespace velmora::ui {

// Done, in all, and the description of what is being done; false stops.
using RunProgressCallback = std::function<bool(size_t done, size_t total, const std::string& description)>;

// Runs `job` on a thread of its own with an error reporter of its own, and
// returns its status when it ends; the window stays responsive meanwhile.
// `label` makes the dialog's text from the description. A run that cannot
// stop half-way (`cancellable` false) shows no Cancela button.
Status runOffTheWindowThread(QWidget* parent, ErrorReporter& windowErrors, const QString& title,
                             const std::function<QString(const std::string&)>& label,
                             const std::function<Status(ErrorReporter&, const RunProgressCallback&)>& job,
                             bool cancellable = true);

}  // namespace velmora::ui
