#include "tables/installation.h"

#include "tables/catalogue.h"

namespace velmora::tables {

std::filesystem::path Installation::fileOf(const TableDef& def) const {
  if (def.settingsRole) return (settingsDir.empty() ? dataDir : settingsDir) / def.fileName;
  if (isWorkTable(def.label)) {
    if (!workDir.empty()) return workDir / def.fileName;
    // Until a work is chosen: ARCH1, ARCH2, ARCH3, ARCH5 after OBRA1, OBRA2, OBRA3, OBRA5.
    return dataDir / ("ARCH" + def.fileName.substr(4));
  }
  return dataDir / def.fileName;
}

std::unique_ptr<Table> Installation::table(std::string_view label, ErrorReporter& errors) const {
  const TableDef& def = tableDef(label);
  auto t = std::make_unique<Table>(def, fileOf(def), errors);
  t->setCreateMissing(createMissing);
  t->setReadingOnly(readingOnly);
  return t;
}

}  // namespace velmora::tables
