// What a backup archive says of itself, read as untrusted text: its comment
// (system files, or which work) and the names of its entries. Plain rules,
// no files touched, so that they can be fuzzed.
#pragma once

#include <string>

#include "tables/schema.h"

namespace velmora::services {

// What an archive holds, read from its comment.
struct BackupContents {
  bool valid = false;
  bool system = false;
  std::string work;  // the work's code when it holds a work
};
// "ARCHIVOS DEL SISTEMA AL <date>" or "ARCHIVOS DE LA OBRA <code> AL <date>";
// a comment naming a code that is not a valid work code is not valid.
BackupContents contentsOf(const std::string& comment);
std::string systemCommentPrefix();
std::string workCommentPrefix();

// The entry name under which the settings table goes into the system archive.
std::string settingsEntryName(const std::string& fileName);

// Where an entry of an archive may go: refused (with why), skipped (a file a
// backup holds that is not put back), a table of the catalogue (a file of the
// data folder, of the work's folder, or the settings table wherever the
// installation keeps it), or one of the documents a system backup carries.
struct EntryPlace {
  enum class Kind { kRefused, kSkipped, kTable, kDocument };
  Kind kind = Kind::kRefused;
  const tables::TableDef* def = nullptr;  // for a table
  bool settings = false;                  // the settings table
  std::string file;                       // the plain file name in its folder
  std::string why;                        // for a refused entry
};
// A system archive holds the data folder's tables and documents and the
// settings table; a work archive its work's tables. A name is never more
// than a plain file name (the settings folder's prefix aside).
EntryPlace placeOfEntry(const std::string& name, bool systemArchive);

}  // namespace velmora::services
