// The course of a report from a screen: "Destino del Reporte", the layout
// with the progress window "Avance ..." and "Cancela", the page numbers, then
// the preview or the printer. The spool lives as long as the run.
#pragma once

#include <QWidget>
#include <functional>

#include "framework/status.h"
#include "reports/page.h"

namespace velmora::ui {

using ReportLayout = std::function<Status(reports::Spool&, const std::function<bool(size_t, size_t)>& progress)>;

// Returns 1 when the pages were printed, 2 when the preview was left without
// printing, 0 when the run was cancelled or failed.
int runReport(QWidget* parent, const ReportLayout& layout);

}  // namespace velmora::ui
