// The one painter of the report pages: whatever the user sees or prints of a
// report (the preview, a printer, PDF, pictures) is drawn by paintPage.
#pragma once

#include <QRectF>
#include <filesystem>
#include <vector>

#include "framework/status.h"
#include "reports/page.h"

class QPainter;

namespace velmora::reports {

// Draws `page` scaled into `target` (device coordinates of `painter`).
void paintPage(QPainter& painter, const Page& page, const QRectF& target);

// The pages `pages` of `spool` as one PDF file (written beside it and renamed
// when complete). Needs a QGuiApplication.
Status writePdf(const Spool& spool, const std::vector<size_t>& pages, const std::filesystem::path& file);
// Each page as a PNG picture "hoja-<n>.png" in `dir`, at `dpi`.
Status writePng(const Spool& spool, const std::vector<size_t>& pages, const std::filesystem::path& dir, int dpi = 100);

}  // namespace velmora::reports
