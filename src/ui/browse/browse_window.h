// BrowseWindow: the list window shared by every catalogue. It shows a table
// in the key order of the selected tab, reads rows as the view needs them,
// and offers the buttons, popup menu and keys of its declaration: insert,
// change, delete and view through the list's form, query by example, and
// selection when opened to pick a record.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <optional>

#include "tables/relations.h"
#include "ui/browse/declarations.h"
#include "ui/browse/table_model.h"
#include "ui/context.h"

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QTableView;
class QVBoxLayout;

namespace velmora::ui {

class BrowseWindow : public QWidget {
  Q_OBJECT
 public:
  // With `picking` the list is a lookup: "&Elegir"/Selecciona hands the
  // highlighted record back through selected() and closes the list.
  BrowseWindow(Context& ctx, BrowseSpec declaration, bool picking = false, QWidget* parent = nullptr);
  ~BrowseWindow() override;

  TableListModel& model() { return *model_; }
  QTableView& view() { return *view_; }
  const BrowseSpec& declaration() const { return declaration_; }
  Context& context() { return ctx_; }
  // The highlighted record, if any.
  std::optional<tables::Record> currentRecord() const;
  int currentRow() const;
  void selectRow(int row);
  void setTab(int index);
  QPushButton* button(unsigned which) const;

  // The actions of the buttons, menu entries and keys.
  void insertRecord();
  void changeRecord();
  void deleteRecord();
  void viewRecord();
  void query();
  void select();
  void closeList();
  void setQuery(std::vector<tables::Condition> conditions);
  QMenu* popupMenu();
  // The area above the list where a screen puts its own entries.
  QVBoxLayout* extraArea() const { return extra_; }
  // The area under the list (display fields of the highlighted row).
  QVBoxLayout* footerArea() const { return footer_; }
  int currentTab() const;
  // The entry that positions the list in the order of the tab.
  QLineEdit* locator() const { return locator_; }
  // A button shown only while tab `tab` is: "Muestra Claves", "Ver Claves".
  QPushButton* addTabButton(int tab, const QString& caption);
  // A button of the screen's own in the button row, after the button `after`
  // (or last when the list has no such button).
  QPushButton* addButtonAfter(unsigned after, const QString& caption, const QString& objectName);
  // Opens the list's form on the highlighted row as a button would.
  bool openForm(FormRequest request) { return runForm(request); }

 signals:
  void selected(const velmora::tables::Record& record);
  void rowChanged();
  void tabChanged(int index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool runForm(FormRequest request);
  bool bufferCurrent();
  void addButton(unsigned which, const QString& defaultCaption, void (BrowseWindow::*slot)());

  Context& ctx_;
  BrowseSpec declaration_;
  bool picking_;
  std::unique_ptr<tables::Table> formTable_;  // the handle forms read and write through
  TableListModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QLineEdit* locator_ = nullptr;
  QLabel* locatorLabel_ = nullptr;
  QHBoxLayout* locatorRow_ = nullptr;
  QHBoxLayout* buttonRow_ = nullptr;
  std::vector<std::pair<int, QPushButton*>> tabButtons_;
  std::map<unsigned, QPushButton*> buttons_;
  QVBoxLayout* extra_ = nullptr;
  QVBoxLayout* footer_ = nullptr;
};

}  // namespace velmora::ui
