#include "tables/relations.h"

#include <sqlite3.h>

#include "tables/catalogue.h"
#include "tables/statement.h"

namespace velmora::tables {
namespace {

std::string ident(const std::string& name) { return "\"" + name + "\""; }

// Binds the parent's link value, typed as the parent field is.
void bindLink(Statement& s, int param, const Record& parent, const std::string& field) {
  bindSlot(s, param, parent, parent.def().slot(field));
}

}  // namespace

RelationManager::RelationManager(const Installation& installation, ErrorReporter& errors)
    : installation_(installation), errors_(errors) {}

Status RelationManager::attachChild(Table& parent, const TableDef& child, std::string* schema) {
  const std::filesystem::path file = installation_.fileOf(child);
  // Open the child once through its own manager: creates a missing file and
  // checks its keys like any other open.
  auto& childTable = children_[file.string()];
  if (!childTable) {
    childTable = std::make_unique<Table>(child, file, errors_);
    if (Status s = childTable->open(); !s) {
      childTable.reset();
      return s;
    }
  }
  *schema = "rel_" + child.label;
  sqlite3* db = parent.connection();
  const char* attached = sqlite3_db_filename(db, schema->c_str());
  if (attached && std::filesystem::path(attached) == std::filesystem::absolute(file)) {
    return Status::ok();
  }
  if (attached) {
    Statement detach(db, "DETACH DATABASE " + ident(*schema));
    detach.step();
  }
  Statement attach(db, "ATTACH DATABASE ? AS " + ident(*schema));
  attach.bind(1, std::string_view(file.string()));
  if (attach.step() != SQLITE_DONE) {
    errors_.setFile(child.label);
    errors_.noteStorageError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
    errors_.raise(24);
    return Status::error(Status::Code::kIoError, sqlite3_errmsg(db));
  }
  return Status::ok();
}

Status RelationManager::remove(Table& table, Confirm confirm) {
  const TableDef& def = table.def();
  errors_.setFile(def.label);
  if (!table.isOpen()) {
    errors_.raise(42);
    return Status::error(Status::Code::kInvalid, "tabla cerrada");
  }
  if (confirm == Confirm::kAsk && errors_.raise(11) != result::kGoOn) {
    return Status::error(Status::Code::kCancelled, "cancelado");
  }
  if (table.recordId() == 0) return Status::error(Status::Code::kInvalid, "no hay registro leído");

  struct Step {
    const RelationDef* relation;
    std::string schema;
  };
  std::vector<Step> steps;
  for (const RelationDef& r : allRelations()) {
    if (r.parent != def.label || r.onDelete == DeleteRule::kNone) continue;
    Step step{&r, {}};
    if (Status s = attachChild(table, tableDef(r.child), &step.schema); !s) return s;
    steps.push_back(std::move(step));
  }

  sqlite3* db = table.connection();
  const auto failWith = [&](int messageId, const std::string& file) {
    const std::string text = sqlite3_errmsg(db);
    const int code = sqlite3_extended_errcode(db);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    errors_.setFile(file);
    errors_.noteStorageError(code, text);
    errors_.raise(messageId);
    return Status::error(Status::Code::kIoError, text);
  };

  sqlite3_busy_timeout(db, static_cast<int>(kTransactionWait.count()));
  const int begun = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_busy_timeout(db, static_cast<int>(kLockWait.count()));
  if (begun != SQLITE_OK) {
    errors_.setFile(def.label);
    errors_.noteStorageError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
    errors_.raise(24);
    return Status::error(Status::Code::kLocked, sqlite3_errmsg(db));
  }

  for (const Step& step : steps) {
    const RelationDef& r = *step.relation;
    const TableDef& child = tableDef(r.child);
    const std::string target = ident(step.schema) + "." + ident(child.storeName);
    const std::string column = ident(r.childField);
    const std::string match = r.linkIsLineOwner ? column + ">=?1*100 AND " + column + "<(?1+1)*100" : column + "=?1";
    if (r.onDelete == DeleteRule::kRestrict) {
      Statement s(db, "SELECT 1 FROM " + target + " WHERE " + match + " LIMIT 1");
      bindLink(s, 1, table.rec(), r.parentField);
      if (s.step() == SQLITE_ROW) {
        s.reset();
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        errors_.setFile(child.label);
        errors_.raise(33);
        return Status::error(Status::Code::kInvalid, "referenciado desde " + child.label);
      }
      continue;
    }
    std::string sql;
    if (r.onDelete == DeleteRule::kCascade) {
      sql = "DELETE FROM " + target + " WHERE " + match;
    } else {  // clear
      const int slot = child.slot(r.childField);
      const bool text = isTextType(child.columns[slot].type);
      sql = "UPDATE " + target + " SET " + column + (text ? "=''" : "=0") + ",\"_ver\"=\"_ver\"+1";
      for (int folded : child.foldedSlots) {
        if (folded == slot) sql += "," + ident(r.childField + "_F") + "=''";
      }
      sql += " WHERE " + match;
    }
    Statement s(db, sql);
    if (!s.valid()) return failWith(13, child.label);
    bindLink(s, 1, table.rec(), r.parentField);
    if (s.step() != SQLITE_DONE) return failWith(13, child.label);
  }

  if (hook_) hook_();

  Statement own(db, "DELETE FROM main." + ident(def.storeName) + " WHERE \"_id\"=? AND \"_ver\"=?");
  own.bind(1, table.recordId());
  own.bind(2, table.recordVersion());
  if (own.step() != SQLITE_DONE) return failWith(13, def.label);
  if (sqlite3_changes(db) != 1) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    errors_.setFile(def.label);
    errors_.noteError(89, "El registro fue modificado por otra estación");
    errors_.raise(13);
    return Status::error(Status::Code::kConflict, "modificado por otra estación");
  }
  own.reset();
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return failWith(13, def.label);
  table.forgetRecord();
  return Status::ok();
}

}  // namespace velmora::tables
