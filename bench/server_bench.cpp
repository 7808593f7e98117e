// The lines on a PostgreSQL server: key-read, bulk-insert and calcula done
// by the program on the server, each against raw libpq doing the same work
// in the same run, and four stations recalculating four works at once
// against one station recalculating one.
#include "server_bench.h"

#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "comparison.h"
#include "framework/text.h"
#include "reference_installation.h"
#include "services/migration.h"
#include "tables/catalogue.h"
#include "tables/installation.h"
#include "tables/table.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::bench {

namespace {

namespace fs = std::filesystem;
using tables::Installation;

double seconds(const std::function<void()>& body) {
  return timeIt([] {}, body);
}

struct Raw {
  PGconn* pg;
  explicit Raw(const std::string& url) : pg(PQconnectdb(url.c_str())) {
    if (PQstatus(pg) != CONNECTION_OK) {
      std::fprintf(stderr, "velmora_bench: %s\n", PQerrorMessage(pg));
      std::exit(1);
    }
  }
  ~Raw() { PQfinish(pg); }
  void exec(const std::string& sql) {
    PGresult* r = PQexec(pg, sql.c_str());
    const auto st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      std::fprintf(stderr, "velmora_bench: %s: %s\n", sql.c_str(), PQerrorMessage(pg));
      std::exit(1);
    }
    PQclear(r);
  }
  void prepare(const char* name, const std::string& sql) {
    PGresult* r = PQprepare(pg, name, sql.c_str(), 0, nullptr);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) {
      std::fprintf(stderr, "velmora_bench: %s\n", PQerrorMessage(pg));
      std::exit(1);
    }
    PQclear(r);
  }
};

Installation onServer(const fs::path& local, const std::string& url, const std::string& schema) {
  Installation inst{local, local / ".settings", {}};
  inst.serverUrl = url;
  inst.serverSchema = schema;
  fs::create_directories(inst.settingsDir);
  return inst;
}

// A fresh, empty INBA of our schema in `inst`'s schema.
void freshInputs(const Installation& inst, ErrorReporter& errors) {
  must(tables::dropServerInstallation(inst));
  auto t = inst.table("INBA", errors);
  must(t->open());
}

struct Input {
  int cta;
  std::string text, gene, llav;
  double cost;
};

std::vector<Input> makeInputs(int n) {
  std::mt19937 random(42);
  std::vector<Input> out;
  for (int i = 1; i <= n; ++i)
    out.push_back({i, "INSUMO " + std::to_string(random() % 100000), "M" + std::to_string(random() % 50),
                   std::to_string(100000 + i), static_cast<double>(random() % 100000) / 100});
  return out;
}

void benchInputs(const std::string& url, const fs::path& root, ErrorReporter& errors) {
  const Installation ours = onServer(root / "srv-ours", url, "bench_ours");
  const Installation ref = onServer(root / "srv-ref", url, "bench_ref");
  const auto inputs = makeInputs(20000);
  compare(
      "bulk-insert-pg", 3, [&](bool forOurs) { freshInputs(forOurs ? ours : ref, errors); },
      [&] {
        auto t = ours.table("INBA", errors);
        must(t->open());
        must(t->begin());
        for (const Input& in : inputs) {
          t->rec().clear();
          t->rec().setInteger("CTA", in.cta);
          t->rec().setText("TEXT", in.text);
          t->rec().setText("GENE", in.gene);
          t->rec().setText("LLAV", in.llav);
          t->rec().setReal("COST", in.cost, 1);
          must(t->insert());
        }
        must(t->commit());
      },
      [&] {
        // The same columns our insert writes, with the folded keys, prepared
        // once, one transaction.
        Raw raw(url);
        std::string cols, params;
        int n = 0;
        for (const tables::Column& c : tables::tableDef("INBA").columns) {
          cols += "\"" + c.name + "\",";
          params += "$" + std::to_string(++n) + ",";
        }
        for (const char* folded : {"GENE_F", "LLAV_F", "TEXT_F"}) {
          cols += std::string("\"") + folded + "\",";
          params += "$" + std::to_string(++n) + ",";
        }
        raw.prepare("add", "INSERT INTO bench_ref.\"INBA\"(" + cols + "\"_ver\") VALUES(" + params +
                               "1) ON CONFLICT DO NOTHING RETURNING \"_id\"");
        raw.exec("BEGIN");
        const auto& columns = tables::tableDef("INBA").columns;
        std::vector<std::string> values(n);
        std::vector<const char*> pointers(n);
        for (const Input& in : inputs) {
          for (size_t c = 0; c < columns.size(); ++c) {
            const std::string& name = columns[c].name;
            values[c] = name == "CTA"                         ? std::to_string(in.cta)
                        : name == "TEXT"                      ? in.text
                        : name == "GENE"                      ? in.gene
                        : name == "LLAV"                      ? in.llav
                        : name == "COST_1"                    ? std::to_string(in.cost)
                        : tables::isTextType(columns[c].type) ? std::string()
                                                              : std::string("0");
          }
          values[columns.size()] = text::foldKey(in.gene);
          values[columns.size() + 1] = text::foldKey(in.llav);
          values[columns.size() + 2] = text::foldKey(in.text);
          for (int i = 0; i < n; ++i) pointers[i] = values[i].c_str();
          PGresult* r = PQexecPrepared(raw.pg, "add", n, pointers.data(), nullptr, nullptr, 0);
          PQclear(r);
        }
        raw.exec("COMMIT");
      });

  std::vector<int> keys(20000);
  std::mt19937 random(7);
  for (int& k : keys) k = 1 + static_cast<int>(random() % inputs.size());
  double sumOurs = 0, sumRef = 0;
  compare(
      "key-read-pg", 3, [](bool) {},
      [&] {
        auto t = ours.table("INBA", errors);
        must(t->open());
        const int key = t->keyIndex("INB:CTA_KEY");
        const int cta = t->def().slot("CTA"), cost = t->def().slot("COST", 1);
        for (int k : keys) {
          t->rec().setIntegerAt(cta, k);
          if (t->fetch(key).found()) sumOurs += t->rec().realAt(cost);
        }
      },
      [&] {
        Raw raw(url);
        std::string select = "\"_id\",\"_ver\"";
        for (const tables::Column& c : tables::tableDef("INBA").columns) select += ",\"" + c.name + "\"";
        raw.prepare("get", "SELECT " + select +
                               " FROM bench_ref.\"INBA\" WHERE \"CTA\"=$1 AND (\"CTA\" <> 0) ORDER BY \"_id\" LIMIT 1");
        const auto& columns = tables::tableDef("INBA").columns;
        std::vector<std::string> texts(columns.size());
        const int costColumn = tables::tableDef("INBA").slot("COST", 1) + 2;
        for (int k : keys) {
          const std::string value = std::to_string(k);
          const char* p = value.c_str();
          PGresult* r = PQexecPrepared(raw.pg, "get", 1, &p, nullptr, nullptr, 0);
          if (PQntuples(r) == 1) {
            for (size_t c = 0; c < columns.size(); ++c) texts[c] = PQgetvalue(r, 0, static_cast<int>(c) + 2);
            sumRef += std::strtod(PQgetvalue(r, 0, costColumn), nullptr);
          }
          PQclear(r);
        }
      });
  if (sumOurs != sumRef) std::fprintf(stderr, "key-read-pg: different results %f %f\n", sumOurs, sumRef);
}

// The raw floor of CALCULA on the server: every row, line, input and machine
// read once, and every row's figures written back, in one transaction.
void rawCalculaFloor(const std::string& url, const std::string& schema, const std::string& work) {
  Raw raw(url);
  raw.exec("BEGIN");
  double sink = 0;
  const auto readAll = [&](const std::string& sql) {
    PGresult* r = PQexec(raw.pg, sql.c_str());
    for (int i = 0; i < PQntuples(r); ++i)
      for (int c = 0; c < PQnfields(r); ++c) sink += std::strtod(PQgetvalue(r, i, c), nullptr);
    PQclear(r);
  };
  readAll("SELECT \"MATE\", \"CATE\", \"TOTA\" FROM " + work + ".\"INOB\" ORDER BY \"CTA\"");
  readAll("SELECT \"MATE\", \"CATE\", \"TOTA\" FROM " + schema + ".\"INCO\" ORDER BY \"CTA\"");
  readAll("SELECT \"CTA\", \"TIPO\", \"COST_1\" FROM " + schema + ".\"INBA\"");
  readAll(
      "SELECT \"EQUI\", \"NEUM\", \"NNEU\", \"FINA\", \"HORV\", \"HORL\", \"CACE\", \"SEGU\", \"FACT\", \"HACE\", "
      "\"COLU\", \"ACEI\", \"ANUA\", \"SUEL\", \"COMB\", \"CONS\" FROM " +
      schema + ".\"MABA\"");
  PGresult* rows = PQexec(raw.pg, ("SELECT \"_id\", \"CANT\" FROM " + work + ".\"COBR\" ORDER BY \"CTA\"").c_str());
  raw.prepare("put", "UPDATE " + work +
                         ".\"COBR\" SET \"TOBR\"=$1, \"TMAT\"=$2, \"TCOS\"=$3, \"TPOR\"=$4, \"PUNI\"=$5, \"IMPO\"=$6, "
                         "\"_ver\"=\"_ver\"+1 WHERE \"_id\"=$7");
  for (int i = 0; i < PQntuples(rows); ++i) {
    const double qty = std::strtod(PQgetvalue(rows, i, 1), nullptr);
    const std::string part = std::to_string(sink * 1e-12), unit = std::to_string(qty), amount = std::to_string(qty * 2);
    const char* values[7] = {part.c_str(), part.c_str(),   part.c_str(),          part.c_str(),
                             unit.c_str(), amount.c_str(), PQgetvalue(rows, i, 0)};
    PQclear(PQexecPrepared(raw.pg, "put", 7, values, nullptr, nullptr, 0));
  }
  PQclear(rows);
  raw.exec("COMMIT");
}

works::OpenWork openReferenceWork(const Installation& inst, ErrorReporter& errors) {
  std::optional<works::OpenWork> opened;
  must(works::openWork(inst, errors, "REF", &opened));
  return *opened;
}

// Seconds for `stations` processes, each recalculating its own work, all
// started together.
double recalculateAtOnce(const std::vector<Installation>& installations, size_t stations) {
  return seconds([&] {
    std::vector<pid_t> children;
    for (size_t s = 0; s < stations; ++s) {
      const pid_t pid = fork();
      if (pid == 0) {
        ErrorReporter own;
        own.setSilent(true);
        works::OpenWork w = openReferenceWork(installations[s], own);
        _exit(works::calcula(w.inst, own, w.header, w.zone, 0) ? 0 : 1);
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "velmora_bench: a station's CALCULA failed\n");
        std::exit(1);
      }
    }
  });
}

void benchCalcula(const std::string& url, const fs::path& root, ErrorReporter& errors) {
  const Installation files{root / "reference", root / "reference", {}};
  if (!fs::exists(root / "reference")) makeReferenceInstallation(files, errors);
  std::vector<Installation> stations;
  for (int s = 1; s <= 4; ++s) {
    const std::string schema = "bench_st" + std::to_string(s);
    Installation inst = onServer(root / ("srv-" + schema), url, schema);
    fs::remove_all(inst.settingsDir);
    fs::create_directories(inst.settingsDir);
    must(tables::dropServerInstallation(inst));
    services::MigrationReport copied;
    must(services::migrateInstallation(files, inst, errors, &copied, [](const std::string&) {}));
    stations.push_back(inst);
  }
  works::OpenWork w = openReferenceWork(stations[0], errors);
  must(works::calcula(w.inst, errors, w.header, w.zone, 0));  // the work inputs exist from now on
  compare(
      "calcula-pg", 3, [](bool) {}, [&] { must(works::calcula(w.inst, errors, w.header, w.zone, 0)); },
      [&] { rawCalculaFloor(url, "\"bench_st1\"", "\"bench_st1_obra_REF\""); });

  for (size_t s = 1; s < stations.size(); ++s) {
    works::OpenWork other = openReferenceWork(stations[s], errors);
    must(works::calcula(other.inst, errors, other.header, other.zone, 0));
  }
  double one = 1e30, four = 1e30;
  for (int round = 0; round < 2; ++round) {
    one = std::min(one, recalculateAtOnce(stations, 1));
    four = std::min(four, recalculateAtOnce(stations, 4));
  }
  // Throughput of four stations over that of one: works per second.
  std::printf("calcula-4-stations ours=%.4f reference=%.4f ratio=%.2f\n", four, one, (4 / four) / (1 / one));
  std::fflush(stdout);
}

}  // namespace

void benchServer(const std::string& url, const fs::path& root, ErrorReporter& errors) {
  fs::create_directories(root);
  benchInputs(url, root, errors);
  benchCalcula(url, root, errors);
}

}  // namespace velmora::bench
