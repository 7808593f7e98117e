#include "ui/reports/report_run.h"

#include <QMessageBox>

#include "reports/sheet.h"
#include "ui/reports/report_dialogs.h"
#include "ui/reports/report_preview.h"

namespace velmora::ui {

int runReport(QWidget* parent, const ReportLayout& layout) {
  DestinationDialog destination(parent);
  if (destination.exec() != QDialog::Accepted) return 0;  // before anything is read
  const Destination where = destination.destination();
  reports::Spool spool;
  reports::Sheet sheet;  // filled by the reports that have a table, for the preview's export
  spool.setSheet(&sheet);
  {
    ProgressWindow progress(parent);
    progress.show();
    const Status s = layout(spool, [&progress](size_t done, size_t total) { return progress.advance(done, total); });
    if (!s) {
      if (!s.is(Status::Code::kCancelled))
        QMessageBox::warning(parent, "Reporte", QString::fromStdString("No se pudo formar el reporte: " + s.text()));
      return 0;  // the spool and its pages go with it
    }
  }
  (void)spool.numberPages(where.view);  // an unreadable page keeps its placeholder
  PreviewWindow preview(spool, where, parent);
  if (where.view) return preview.exec();
  OutputChoice all;
  all.to = spool.count();
  all.copies = where.copies;
  all.collate = where.collate;
  all.reverse = where.reverse;
  all.printer = where.printer;
  return preview.print(all) ? PreviewWindow::kPrinted : 0;
}

}  // namespace velmora::ui
