#include "reports/budget_report.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "estimate/zones.h"
#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/amount_in_words.h"
#include "reports/legal_amount_words.h"
#include "reports/page_writer.h"
#include "reports/report_header.h"
#include "reports/sheet.h"
#include "tables/catalogue.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::reports {

namespace {

constexpr double kLine = 10;    // points a printed line takes
constexpr size_t kPieces = 14;  // 50-character pieces of a 700-character description

std::string number(double v, const char* picture) { return picture::formatNumber(v, picture); }

std::string percentText(double p) { return number(p, "n6.2"); }

// `words` in lines of at most `width` characters, cut at blanks; one line
// when it fits.
std::vector<std::string> wrapWords(const std::string& words, size_t width) {
  std::vector<std::string> out;
  std::string rest = words;
  while (text::charCount(rest) > width) {
    size_t cut = rest.rfind(' ', width);
    // "55/100. M.N.)" (or "55/100 M.N.)") stays whole on the last line.
    const size_t cents = rest.rfind("/100");
    const size_t tail = cents == std::string::npos ? std::string::npos : rest.rfind(' ', cents);
    if (tail != std::string::npos && tail > 0 && (cut == std::string::npos || cut > tail)) cut = tail;
    if (cut == std::string::npos || cut == 0) cut = width;
    out.push_back(rest.substr(0, cut));
    rest = rest.substr(cut);
    while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  }
  out.push_back(rest);
  return out;
}

}  // namespace

std::vector<std::string> descriptionLines(const std::string& shortText, std::string longText, bool full) {
  std::replace(longText.begin(), longText.end(), '\n', ' ');
  if (text::clip(longText).empty()) return {shortText};
  std::vector<std::string> lines;
  const size_t length = text::charCount(longText);
  for (size_t piece = 0; piece < kPieces && piece * 50 < length; ++piece) {
    const std::string head = text::truncateChars(longText, piece * 50);
    const std::string line = text::truncateChars(longText.substr(head.size()), 50);
    if (piece > 0 && (!full || text::clip(line).empty())) break;
    lines.push_back(line);
  }
  return lines;
}

double piecework(double labour, double fsrMayor, double workingDays) {
  const double divisor = fsrMayor * workingDays;
  return divisor != 0 ? labour * 365.25 / divisor : 0;
}

std::vector<SummaryLine> closingSummary(const works::WorkHeader& header, double directCost,
                                        const estimate::ZoneFactors& zone) {
  // In whole cents, each line rounded once: the printed lines add up to the
  // printed "SUMA" and "IMPORTE TOTAL".
  std::vector<SummaryLine> out;
  const int64_t cd = money::cents(directCost);
  int64_t run = cd;
  const auto onDirectCost = [&](const works::Charge& c) {
    if (c.percent <= 0) return;
    const int64_t amount = money::percentOf(cd, c.percent);
    out.push_back({percentText(c.percent) + "% " + c.caption, money::fromCents(amount), false});
    run += amount;
  };
  onDirectCost(header.centralOverhead);
  onDirectCost(header.siteOverhead);
  onDirectCost(header.otherCharges);
  onDirectCost(header.profit);
  if (header.statesSalaryCharges) {
    // The rates only; they are stated as the zone holds them (in percent).
    out.push_back({percentText(zone.sarRate) + "% CARGO POR S.A.R.", 0, false});
    out.push_back({percentText(zone.infonavitRate) + "% CARGO POR INFONAVIT", 0, false});
    if (header.secodam > 0) {
      const int64_t amount = money::percentOf(run, header.secodam);
      out.push_back({percentText(header.secodam) + "% S.V.I. y C. (SECODAM)", money::fromCents(amount), false});
      run += amount;
    }
  }
  if (header.vat.percent > 0) {
    out.push_back({"SUMA", money::fromCents(run), true});
    const int64_t amount = money::percentOf(run, header.vat.percent);
    out.push_back({percentText(header.vat.percent) + "% " + header.vat.caption, money::fromCents(amount), false});
    run += amount;
  }
  out.push_back({"IMPORTE TOTAL", money::fromCents(run), true});
  return out;
}

namespace {

// What every budget report prints from: the work with its captions, its
// zone, the rows in range and, for the totals, every row.
struct BudgetData {
  works::WorkHeader header;
  estimate::ZoneFactors zone;
  std::vector<works::BudgetRow> rows;  // in range
  std::vector<works::BudgetRow> all;
};

Status readBudgetData(const works::OpenWork& work, ErrorReporter& errors, const ReportOptions& options,
                      std::optional<BudgetData>* data) {
  auto cobr = work.inst.table("COBR", errors);
  if (Status s = cobr->open(); !s) return s;
  BudgetData d{work.header, work.zone, {}, {}};
  works::fillDefaultCaptions(d.header);

  // Every row read once: those in range are printed, all of them make the
  // category totals (computed, not read from the header: a read-only
  // installation never got them stored). A figure that is not finite is
  // refused, naming its row.
  if (Status s = works::readBudget(*cobr, &d.all); !s) return s;
  for (const works::BudgetRow& row : d.all) {
    if (options.inRange(row.account)) d.rows.push_back(row);
  }
  if (Status s = works::checkFiniteFigures(d.all); !s) return s;
  data->emplace(std::move(d));
  return Status::ok();
}

// "CONCEPTOS DE LA OBRA": each concept's unit price split into piecework,
// labour, materials, equipment and percentages.
Status layOutConcentrated(const BudgetData& data, const ReportOptions& options, const BudgetReportContext& context,
                          Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
  const works::WorkHeader& obra = data.header;
  const std::vector<works::BudgetRow>& rows = data.rows;
  const estimate::ZoneFactors& factors = data.zone;
  Heading heading{context.company,
                  {"CONCEPTOS DE LA OBRA: " + obra.name, obra.address, options.title},
                  context.today,
                  30,
                  762,
                  {{30, 58, "CLAVE"},
                   {90, 214, "D E S C R I P C I O N"},
                   {306, 28, "UNID"},
                   {336, 60, "DESTAJO", Align::kRight},
                   {398, 66, "M/OBRA", Align::kRight},
                   {466, 66, "MATERIAL", Align::kRight},
                   {534, 66, "EQUIPO", Align::kRight},
                   {602, 60, "PORCEN.", Align::kRight},
                   {664, 98, "UNITARIO", Align::kRight}}};
  PageWriter out(
      spool, [&heading](Page& p) { return drawHeading(p, heading); }, 30, 580, 792, 612);
  const bool full = options.fullDescription == 'S';
  Sheet* sheet = spool.sheet();
  if (sheet != nullptr) {
    sheet->name = "Conceptos";
    sheet->heading = {context.company, "CONCEPTOS DE LA OBRA: " + obra.name, obra.address, options.title};
    sheet->columns = {{"CLAVE", 12},      {"DESCRIPCION", 60}, {"UNID", 8},
                      {"DESTAJO", 12, 2}, {"M/OBRA", 12, 2},   {"MATERIAL", 12, 2},
                      {"EQUIPO", 12, 2},  {"PORCEN.", 12, 2},  {"UNITARIO", 14, 2}};
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (progress && !progress(i, rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const works::BudgetRow& row = rows[i];
    if (row.kind != works::row_kind::kConcept) {  // a title or subtotal: its text as a title line
      out.band(kLine + 2);
      out.text(90, 300, row.text, Align::kLeft, 7, true);
      if (sheet != nullptr) sheet->add({{}, text::clip(row.text)});
      continue;
    }
    // The long text in its box; with the option "N", the short description.
    const std::vector<std::string> lines =
        full ? descriptionLines(row.text, row.longText, true) : std::vector<std::string>{row.text};
    out.band(kLine);
    out.text(30, 58, text::clip(row.gene) + " " + row.key);
    out.text(90, 214, lines.front());
    out.text(306, 28, row.unit);
    const double destajo = piecework(row.perUnit.labour, factors.fsrMayor, factors.storedWorkingDays);
    out.text(336, 60, destajo != 0 ? number(destajo, "n10.2") : "", Align::kRight);
    out.text(398, 66, number(row.perUnit.labour, "n12.2B"), Align::kRight);
    out.text(466, 66, number(row.perUnit.materials, "n12.2B"), Align::kRight);
    out.text(534, 66, number(row.perUnit.equipment, "n12.2B"), Align::kRight);
    out.text(602, 60, number(row.perUnit.percentages, "n10.2B"), Align::kRight);
    const double unit = money::fromCents(works::rowMoney(row.perUnit, row.quantity).unitPrice);
    out.text(664, 98, number(unit, "n12.2B"), Align::kRight);
    if (sheet != nullptr) {
      std::string description;
      for (const std::string& l : lines) description += (description.empty() ? "" : " ") + text::clip(l);
      sheet->add({text::clip(row.gene) + " " + text::clip(row.key), description, text::clip(row.unit),
                  destajo != 0 ? SheetCell(money::round2(destajo)) : SheetCell(), row.perUnit.labour,
                  row.perUnit.materials, row.perUnit.equipment, row.perUnit.percentages, unit});
    }
    for (size_t l = 1; l < lines.size(); ++l) {
      out.band(kLine);
      out.text(90, 214, lines[l]);
    }
  }
  if (progress && !progress(rows.size(), rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

// The budget (presentation, or detailed with the unit price's split):
// titles, concepts with their amounts (and, in the presentation, their
// words), subtotals, the direct cost, the closing summary and, in the
// presentation, the recapitulation of the sections.
Status layOutBudgetRows(BudgetReportKind kind, const BudgetData& data, const ReportOptions& options,
                        const BudgetReportContext& context, Spool& spool,
                        const std::function<bool(size_t, size_t)>& progress) {
  const works::WorkHeader& obra = data.header;
  const std::vector<works::BudgetRow>& rows = data.rows;
  const std::vector<works::BudgetRow>& all = data.all;
  const bool presentation = kind == BudgetReportKind::kPresentation;
  const bool landscape = !presentation;  // ten columns need the width
  const double right = landscape ? 762 : 582;
  std::string title = options.title;
  const std::string heading = presentation ? "PRESUPUESTO DE OBRA: " : "PRESUPUESTO DE LA OBRA: ";
  const auto header = [&](Page& page) {
    const auto put = [&page](double x, double y, double w, const std::string& s, Align a, double size, bool bold) {
      putText(page, x, y, w, s, a, size, bold);
    };
    const double width = right - 30;
    put(30, 30, width, context.company, Align::kCenter, 11, true);
    put(30, 46, width, heading + obra.name, Align::kCenter, 9, true);
    put(30, 58, width, obra.address, Align::kCenter, 8, false);
    put(30, 70, width, title, Align::kCenter, 9, true);
    put(30, 84, 150, picture::formatDate(context.today), Align::kLeft, 7, false);
    put(right - 150, 84, 150, kPagePlaceholder, Align::kRight, 7, false);
    double y = 100;
    if (presentation) {
      const std::pair<double, const char*> heads[] = {{30, "CONCEPTO"},  {92, "D E S C R I P C I O N"},
                                                      {324, "UNIDAD"},   {356, "CANTIDAD"},
                                                      {413, "UNITARIO"}, {475, "IMPORTE"},
                                                      {547, "%"}};
      for (size_t i = 0; i < std::size(heads); ++i) {
        const double next = i + 1 < std::size(heads) ? heads[i + 1].first - 2 : right;
        put(heads[i].first, y, next - heads[i].first, heads[i].second, i >= 3 ? Align::kRight : Align::kLeft, 7, true);
      }
    } else {
      const std::pair<double, const char*> heads[] = {
          {30, "CONCEPTO"}, {92, "DESCRIPCION"}, {300, "UNIDAD"},  {330, "CANTIDAD"}, {385, "M/OBRA"},
          {440, "MATER."},  {495, "EQUIPO"},     {550, "PORCEN."}, {605, "UNITARIO"}, {670, "IMPORTE"}};
      for (size_t i = 0; i < std::size(heads); ++i) {
        const double next = i + 1 < std::size(heads) ? heads[i + 1].first - 2 : right;
        put(heads[i].first, y, next - heads[i].first, heads[i].second, i >= 3 ? Align::kRight : Align::kLeft, 7, true);
      }
    }
    page.lines.push_back({30, y + 11, right, y + 11, 0.5});
    return y + 14 - 30;
  };
  PageWriter out(spool, header, 30, landscape ? 580 : 760, landscape ? 792 : 612, landscape ? 612 : 792);

  const double workDirect = works::displayBudget(all).directCost;
  // A work whose direct cost is 0 has no shares: the percentages stay blank.
  // A share is printed, and put in the workbook, to two decimals.
  const auto share = [workDirect](double amount) {
    return workDirect != 0 ? money::round2(amount * 100 / workDirect) : 0.0;
  };
  const bool full = options.fullDescription == 'S';
  // What the words' box holds on the 132-column text page.
  const size_t wordsWidth = static_cast<size_t>((right - 92) * 132 / 612);
  struct Section {
    std::string title;
    double amount, percent;
  };
  std::vector<Section> sections;
  std::string sectionTitle;
  int64_t sectionCents = 0, totalCents = 0;  // sums of the printed amounts

  // The spreadsheet: one row per title, concept and subtotal; the amounts
  // and the direct cost as formulas over the concepts.
  Sheet* sheet = spool.sheet();
  const int amountColumn = presentation ? 5 : 9;
  if (sheet != nullptr) {
    sheet->name = presentation ? "Presupuesto" : "Presupuesto detallado";
    sheet->heading = {context.company, heading + obra.name, obra.address, title};
    if (presentation) {
      sheet->columns = {{"CONCEPTO", 12},    {"DESCRIPCION", 60}, {"UNIDAD", 8}, {"CANTIDAD", 12, 2},
                        {"UNITARIO", 14, 2}, {"IMPORTE", 16, 2},  {"%", 8, 2}};
    } else {
      sheet->columns = {{"CONCEPTO", 12},    {"DESCRIPCION", 50}, {"UNIDAD", 8},     {"CANTIDAD", 12, 2},
                        {"M/OBRA", 12, 2},   {"MATER.", 12, 2},   {"EQUIPO", 12, 2}, {"PORCEN.", 12, 2},
                        {"UNITARIO", 14, 2}, {"IMPORTE", 16, 2}};
    }
  }
  const auto sheetText = [](const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& l : lines) joined += (joined.empty() ? "" : " ") + text::clip(l);
    return joined;
  };

  // A figure wider than its box on the 132-column text page would run into
  // its neighbour there: it goes, whole, on a line of its own below the row
  // (where the text page lets it reach left over blank cells).
  struct Figure {
    double x, width;
    std::string text;
  };
  const auto figure = [&](double x, double width, const std::string& text, std::vector<Figure>& ownLines) {
    if (text::charCount(text) <= static_cast<size_t>(width * 132 / 612 + 0.5)) out.text(x, width, text, Align::kRight);
    else ownLines.push_back({x, width, text});
  };
  const auto figuresOnTheirOwnLines = [&](const std::vector<Figure>& ownLines) {
    for (const Figure& f : ownLines) {
      out.band(kLine);
      out.text(f.x, f.width, f.text, Align::kRight);
    }
  };
  const auto extraLines = [&](const std::vector<std::string>& lines) {
    for (size_t i = 1; i < lines.size(); ++i) {
      out.band(kLine);
      out.text(92, 230, lines[i]);
    }
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    if (progress && !progress(i, rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const works::BudgetRow& row = rows[i];
    std::vector<std::string> lines = descriptionLines(row.text, row.longText, full);
    if (!presentation) {
      for (std::string& l : lines) std::replace(l.begin(), l.end(), ',', ' ');
    }
    if (row.kind == works::row_kind::kTitle) {
      sectionCents = 0;
      out.band(kLine + 2);
      out.text(92, 230, lines.front(), Align::kLeft, 7, true);
      sectionTitle = row.text;
      if (sheet != nullptr) sheet->add({{}, sheetText(lines)}, true);
    } else if (row.kind == works::row_kind::kSubtotal) {
      const double tot1 = money::fromCents(sectionCents);
      out.band(kLine + 2);
      out.text(92, 230, lines.front(), Align::kLeft, 7, true);
      if (presentation) {
        const double percent = share(tot1);
        out.text(475, 70, number(tot1, "n13.2B"), Align::kRight, 7, true);
        out.text(547, 35, number(percent, "n6.2B"), Align::kRight, 7, true);
        sections.push_back({sectionTitle, tot1, percent});
        if (sheet != nullptr) sheet->addTotal({{}, lines.front(), {}, {}, {}, tot1, percent}, {amountColumn});
      } else {
        out.text(670, right - 670, number(tot1, "n13.2B"), Align::kRight, 7, true);
        if (sheet != nullptr) sheet->addTotal({{}, lines.front(), {}, {}, {}, {}, {}, {}, {}, tot1}, {amountColumn});
      }
      sectionCents = 0;
    } else {
      // Rounded once: the figure printed, its words and the sums are one value.
      const works::RowMoney figures = works::rowMoney(row.perUnit, row.quantity);
      const double sum1 = money::fromCents(figures.unitPrice);
      const double sum2 = money::fromCents(figures.amount);
      sectionCents += figures.amount;
      totalCents += figures.amount;
      out.band(kLine);
      out.text(30, 60, text::clip(row.gene) + " " + row.key);
      out.text(92, presentation ? 230 : 206, lines.front());
      if (presentation) {
        double percent = share(sum2);
        if (percent < 0.005) percent = 0;
        out.text(324, 30, row.unit);
        std::vector<Figure> ownLines;
        figure(356, 55, number(row.quantity, "n10.2B"), ownLines);
        figure(413, 60, number(sum1, "n13.2B"), ownLines);
        figure(475, 70, number(sum2, "n13.2B"), ownLines);
        out.text(547, 35, number(percent, "n6.2B"), Align::kRight);
        figuresOnTheirOwnLines(ownLines);
        if (sheet != nullptr) {
          sheet->add({text::clip(row.gene) + " " + text::clip(row.key), sheetText(lines), text::clip(row.unit),
                      row.quantity, sum1, sum2, percent});
        }
        extraLines(lines);
        // The words whole: those of a large amount go on a second line
        // rather than past the 132 columns of the text page.
        std::string words;
        if (!context.wording.legalInBudgets) {
          words = amountInWords(sum2);
        } else if (Status s = legalAmountInWords(
                       sum2, context.wording.accentsDropped ? Accents::kDropped : Accents::kKept, &words);
                   !s) {
          return Status::error(s.code(), "partida " + std::to_string(row.account) + ": " + s.text());
        }
        for (const std::string& part : wrapWords(words, wordsWidth)) {
          out.band(kLine);
          out.text(92, right - 92, part, Align::kLeft, 6.5);
        }
      } else {
        out.text(300, 28, row.unit);
        std::vector<Figure> ownLines;
        figure(330, 53, number(row.quantity, "n10.2B"), ownLines);
        const double parts[] = {row.perUnit.labour, row.perUnit.materials, row.perUnit.equipment,
                                row.perUnit.percentages};
        for (int p = 0; p < 4; ++p) figure(385 + 55 * p, 53, number(parts[p], "n10.2B"), ownLines);
        figure(605, 63, number(sum1, "n12.2B"), ownLines);
        figure(670, right - 670, number(sum2, "n13.2B"), ownLines);
        figuresOnTheirOwnLines(ownLines);
        if (sheet != nullptr) {
          sheet->add({text::clip(row.gene) + " " + text::clip(row.key),
                      sheetText(descriptionLines(row.text, row.longText, full)), text::clip(row.unit), row.quantity,
                      parts[0], parts[1], parts[2], parts[3], sum1, sum2});
        }
        extraLines(lines);
      }
    }
  }
  if (progress && !progress(rows.size(), rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");

  const double total = money::fromCents(totalCents);
  const double amountX = presentation ? 475 : 670, amountW = presentation ? 70 : right - 670;
  const auto directCost = [&] {
    out.band(4);
    out.rule(30, right);
    out.band(kLine + 2);
    out.text(92, 230, "COSTO DIRECTO:", Align::kLeft, 7, true);
    out.text(amountX, amountW, number(total, "n14.2"), Align::kRight, 7, true);
    out.band(4);
    out.rule(30, right);
  };
  const auto summary = [&] {
    if (options.closingSummary != 'S') return;
    for (const SummaryLine& line : closingSummary(obra, total, data.zone)) {
      if (line.ruleBefore) {
        out.band(4);
        out.rule(amountX, amountX + amountW);
      }
      out.band(kLine + 1);
      out.text(92, 300, line.text);
      out.text(amountX, amountW, number(line.amount, "n14.2"), Align::kRight);
    }
  };
  directCost();
  summary();
  if (sheet != nullptr) {
    std::vector<SheetCell> cells(sheet->columns.size());
    cells[1] = std::string("COSTO DIRECTO:");
    cells[amountColumn] = total;
    sheet->addTotal(cells, {amountColumn}, true);
    if (options.closingSummary == 'S') {
      for (const SummaryLine& line : closingSummary(obra, total, data.zone)) {
        std::vector<SheetCell> summaryCells(sheet->columns.size());
        summaryCells[1] = text::clip(line.text);
        summaryCells[amountColumn] = line.amount;
        sheet->add(summaryCells);
      }
    }
  }
  if (presentation && !sections.empty()) {
    title = "PARTIDAS DE OBRA";  // the recapitulation starts a page under its own title
    out.breakPage();
    out.band(kLine * 2);  // the separator band
    for (const Section& s : sections) {
      out.band(kLine + 1);
      out.text(92, 300, s.title);
      out.text(475, 70, number(s.amount, "n14.2"), Align::kRight);
      out.text(547, 35, number(s.percent, "n6.2B"), Align::kRight);
    }
    directCost();
    summary();  // once more, from the work total
  }
  return out.finish();
}

}  // namespace

Status layOutBudgetReport(BudgetReportKind kind, const works::OpenWork& work, ErrorReporter& errors,
                          const ReportOptions& options, const BudgetReportContext& context, Spool& spool,
                          const std::function<bool(size_t, size_t)>& progress) {
  std::optional<BudgetData> data;
  if (Status s = readBudgetData(work, errors, options, &data); !s) return s;
  if (kind == BudgetReportKind::kConcentrated) return layOutConcentrated(*data, options, context, spool, progress);
  return layOutBudgetRows(kind, *data, options, context, spool, progress);
}

}  // namespace velmora::reports
