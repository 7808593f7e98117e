#include "tables/relations.h"

#include <sqlite3.h>

#include "tables/catalogue.h"
#include "tables/connection.h"
#include "tables/statement.h"
#include "tables/table_sql.h"

namespace velmora::tables {
namespace {

using internal::ident;

// Binds the parent's link value, typed as the parent field is.
void bindLink(Statement& s, int param, const Record& parent, const std::string& field) {
  bindSlot(s, param, parent, parent.def().slot(field));
}

// A delete that failed after its transaction began: rolled back, the
// engine's error noted and message `messageId` raised about `file`.
Status failDelete(internal::Connection& db, ErrorReporter& errors, int messageId, const std::string& file) {
  const std::string text = db.errorMessage();
  const int code = db.errorCode();
  db.rollback();
  errors.setFile(file);
  errors.noteStorageError(code, text);
  errors.raise(messageId);
  return Status::error(Status::Code::kIoError, text);
}

// One relation of the record being deleted, inside the delete's
// transaction: a restricting child refuses it (message 33), cascading
// children go with it, cleared ones lose the link.
Status applyRelation(internal::Connection& db, ErrorReporter& errors, const RelationDef& r, const std::string& target,
                     const Record& parent) {
  const TableDef& child = tableDef(r.child);
  const std::string column = ident(r.childField);
  const std::string match = r.linkIsLineOwner
                                ? column + ">=CAST(?1 AS BIGINT)*100 AND " + column + "<(CAST(?1 AS BIGINT)+1)*100"
                                : column + "=?1";
  if (r.onDelete == DeleteRule::kRestrict) {
    Statement s(db, "SELECT 1 FROM " + target + " WHERE " + match + " LIMIT 1");
    bindLink(s, 1, parent, r.parentField);
    if (s.step() != SQLITE_ROW) return Status::ok();
    s.reset();
    db.rollback();
    errors.setFile(child.label);
    errors.raise(33);
    return Status::error(Status::Code::kInvalid, "referenciado desde " + child.label);
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
  if (!s.valid()) return failDelete(db, errors, 13, child.label);
  bindLink(s, 1, parent, r.parentField);
  if (s.step() != SQLITE_DONE) return failDelete(db, errors, 13, child.label);
  return Status::ok();
}

}  // namespace

RelationManager::RelationManager(const Installation& installation, ErrorReporter& errors)
    : installation_(installation), errors_(errors) {}

Status RelationManager::attachChild(Table& parent, const TableDef& child, std::string* target) {
  const std::filesystem::path file = installation_.fileOf(child);
  // Open the child once through its own manager: creates a missing file and
  // checks its keys like any other open.
  auto& childTable = children_[file.string()];
  if (!childTable) {
    childTable = installation_.table(child.label, errors_);
    if (Status s = childTable->open(); !s) {
      childTable.reset();
      return s;
    }
  }
  if (childTable->onServer()) {  // one database: the parent's transaction reaches it as it is
    *target = childTable->storeIdent();
    return Status::ok();
  }
  const std::string schema = "rel_" + child.label;
  *target = ident(schema) + "." + ident(child.storeName);
  sqlite3* db = parent.connection()->lite();
  const char* attached = sqlite3_db_filename(db, schema.c_str());
  if (attached && std::filesystem::path(attached) == std::filesystem::absolute(file)) {
    return Status::ok();
  }
  if (attached) {
    Statement detach(*parent.connection(), "DETACH DATABASE " + ident(schema));
    detach.step();
  }
  Statement attach(*parent.connection(), "ATTACH DATABASE ? AS " + ident(schema));
  attach.bind(1, std::string_view(file.string()));
  if (attach.step() != SQLITE_DONE) {
    errors_.setFile(child.label);
    errors_.noteStorageError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
    errors_.raise(24);
    return Status::error(Status::Code::kIoError, sqlite3_errmsg(db));
  }
  return Status::ok();
}

Status RelationManager::remove(Table& table) {
  const TableDef& def = table.def();
  errors_.setFile(def.label);
  if (!table.isOpen()) {
    errors_.raise(42);
    return Status::error(Status::Code::kInvalid, "tabla cerrada");
  }
  if (table.recordId() == 0) return Status::error(Status::Code::kInvalid, "no hay registro leído");

  struct Step {
    const RelationDef* relation;
    std::string target;
  };
  std::vector<Step> steps;
  for (const RelationDef& r : allRelations()) {
    if (r.parent != def.label || r.onDelete == DeleteRule::kNone) continue;
    Step step{&r, {}};
    if (Status s = attachChild(table, tableDef(r.child), &step.target); !s) return s;
    steps.push_back(std::move(step));
  }

  internal::Connection& db = *table.connection();
  db.setLockWait(kTransactionWait);
  // As a file's write lock is taken at once, the parent's table is held
  // against other writers from the start, within the transaction wait.
  const int begun = db.begin(table.onServer() ? table.storeIdent() : std::string());
  db.setLockWait(kLockWait);
  if (begun != SQLITE_OK) {
    errors_.setFile(def.label);
    errors_.noteStorageError(db.errorCode(), db.errorMessage());
    errors_.raise(24);
    return Status::error(Status::Code::kLocked, db.errorMessage());
  }
  for (const Step& step : steps)
    if (Status s = applyRelation(db, errors_, *step.relation, step.target, table.rec()); !s) return s;

  if (hook_) hook_();

  const std::string ownTable = table.onServer() ? table.storeIdent() : "main." + ident(def.storeName);
  Statement own(db, "DELETE FROM " + ownTable + " WHERE \"_id\"=? AND \"_ver\"=?");
  own.bind(1, table.recordId());
  own.bind(2, table.recordVersion());
  if (own.step() != SQLITE_DONE) return failDelete(db, errors_, 13, def.label);
  if (db.changes() != 1) {
    db.rollback();
    errors_.setFile(def.label);
    errors_.noteError(89, "El registro fue modificado por otra estación");
    errors_.raise(13);
    return Status::error(Status::Code::kConflict, "modificado por otra estación");
  }
  own.reset();
  if (db.commit() != SQLITE_OK) return failDelete(db, errors_, 13, def.label);
  table.forgetRecord();
  return Status::ok();
}

}  // namespace velmora::tables
