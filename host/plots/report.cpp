// The HTML report and the recorder that fills it from a run; see report.h.
#include "plots/report.h"

#include <ctime>
#include <fstream>
#include <ostream>
#include <sstream>

#include "listing.h"
#include "plots/svg.h"

namespace robmat::host::plots {
namespace {

// Results larger than this are shown in part: the plots show every observation, and a table
// of ten thousand columns helps nobody reading a page.
constexpr int64_t kMaxTableRows = 200;
constexpr int64_t kMaxTableCols = 60;

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", Helvetica, Arial, sans-serif; margin: 0 auto; max-width: 1040px;
       padding: 16px 24px; color: #222222; background: #ffffff; }
h1 { font-size: 24px; margin-bottom: 4px; }
h2 { font-size: 19px; border-bottom: 1px solid #cccccc; padding-bottom: 3px; margin-top: 32px; }
h3 { font-size: 15px; margin: 18px 0 6px; }
h4 { font-size: 13px; margin: 10px 0 4px; font-weight: normal; }
.meta, .where { color: #666666; font-size: 13px; font-weight: normal; }
nav.contents { background: #f6f8fa; border: 1px solid #dddddd; padding: 8px 16px; }
nav.contents ol { margin: 4px 0; }
nav.contents h2 { margin-top: 8px; }
pre { background: #f6f8fa; border: 1px solid #e1e4e8; padding: 8px; overflow-x: auto; font-size: 12px;
      line-height: 1.35; }
pre.statement { background: #fffbe6; border-color: #f0e2a8; }
.log { font-size: 13px; margin: 4px 0; padding-left: 20px; }
.log .warning, .log .error, p.error { color: #a31515; }
p.note, .log .note { color: #555555; font-size: 13px; }
.plots { display: flex; flex-wrap: wrap; gap: 12px; }
figure { margin: 0; }
figcaption { font-size: 12px; color: #555555; max-width: 480px; }
.table-wrap { overflow-x: auto; }
table { border-collapse: collapse; font-size: 12px; margin-bottom: 6px; }
th, td { border: 1px solid #dddddd; padding: 2px 6px; text-align: right; font-variant-numeric: tabular-nums; }
th { background: #f0f0f0; font-weight: 600; }
)";

std::string html(std::string_view text) { return xml_escape(text); }

const char* text_class(HtmlReport::TextKind k) {
  switch (k) {
    case HtmlReport::TextKind::kNote:
      return "note";
    case HtmlReport::TextKind::kWarning:
      return "warning";
    case HtmlReport::TextKind::kError:
      return "error";
    case HtmlReport::TextKind::kListing:
      break;
  }
  return "listing";
}

std::string matrix_table(const Matrix& m) {
  std::string s = "<div class=\"table-wrap\"><table>\n<tr><th></th>";
  const int64_t rows = std::min(m.rows, kMaxTableRows), cols = std::min(m.cols, kMaxTableCols);
  const bool named = static_cast<int64_t>(m.colnames.size()) == m.cols;
  for (int64_t j = 0; j < cols; ++j)
    s += "<th>" + html(named ? m.colnames[static_cast<size_t>(j)] : std::to_string(j + 1)) + "</th>";
  s += "</tr>\n";
  for (int64_t i = 0; i < rows; ++i) {
    s += "<tr><th>" + std::to_string(i + 1) + "</th>";
    for (int64_t j = 0; j < cols; ++j) s += "<td>" + html(format_number(m.at(i, j))) + "</td>";
    s += "</tr>\n";
  }
  s += "</table></div>\n";
  if (rows < m.rows || cols < m.cols) {
    s += "<p class=\"note\">The first " + std::to_string(rows) + " rows and " + std::to_string(cols) +
         " columns of " + std::to_string(m.rows) + " x " + std::to_string(m.cols) + " are shown.</p>\n";
  }
  return s;
}

std::string severity_class(LogEntry::Severity s) { return severity_name(s); }

}  // namespace

HtmlReport::HtmlReport(std::string title) : title_(std::move(title)) {}

void HtmlReport::add_text(std::string text, TextKind kind) {
  if (text.empty()) return;
  // Consecutive listing text joins one block, so the page reads as the terminal would.
  if (!blocks_.empty() && !blocks_.back().call && blocks_.back().kind == kind) {
    blocks_.back().text += text;
    return;
  }
  blocks_.push_back({kind, std::move(text), std::nullopt});
}

void HtmlReport::add_call(ReportCall call) {
  calls_.push_back(std::move(call));
  blocks_.push_back({TextKind::kListing, "", calls_.size() - 1});
}

size_t HtmlReport::call_count() const { return calls_.size(); }

void HtmlReport::write(std::ostream& out, const RoutineCaller& caller) const {
  std::vector<Plots> plots;
  for (const ReportCall& c : calls_)
    plots.push_back(c.error.empty() ? build_plots(c.record, caller) : Plots{});

  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << html(title_)
      << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n";
  char date[64] = "";
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) != nullptr) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &tm);
  out << "<h1>" << html(title_) << "</h1>\n<p class=\"meta\">Written by robmat " << ROBMAT_VERSION << " on "
      << date << ".</p>\n";

  out << "<nav class=\"contents\" id=\"contents\">\n<h2>Contents</h2>\n";
  if (calls_.empty()) {
    out << "<p>No routine was called.</p>\n";
  } else {
    out << "<ol>\n";
    for (size_t k = 0; k < calls_.size(); ++k) {
      const ReportCall& c = calls_[k];
      out << "<li><a href=\"#call-" << k + 1 << "\">" << html(c.record.routine) << "</a>";
      if (!c.where.empty()) out << " <span class=\"where\">" << html(c.where) << "</span>";
      if (!plots[k].figures.empty()) {
        out << "\n<ol>\n";
        for (const Figure& f : plots[k].figures)
          out << "<li><a href=\"#call-" << k + 1 << "-" << html(f.id) << "\">" << html(f.title)
              << "</a></li>\n";
        out << "</ol>\n";
      }
      out << "</li>\n";
    }
    out << "</ol>\n";
  }
  out << "</nav>\n";

  for (const Block& b : blocks_) {
    if (!b.call) {
      if (b.kind == TextKind::kListing)
        out << "<pre class=\"listing\">" << html(b.text) << "</pre>\n";
      else
        out << "<p class=\"" << text_class(b.kind) << "\">" << html(b.text) << "</p>\n";
      continue;
    }
    const size_t k = *b.call;
    const ReportCall& c = calls_[k];
    const std::string id = "call-" + std::to_string(k + 1);
    out << "<section class=\"call\" id=\"" << id << "\">\n<h2>" << k + 1 << ". " << html(c.record.routine);
    if (!c.where.empty()) out << " <span class=\"where\">" << html(c.where) << "</span>";
    out << "</h2>\n";
    if (!c.statement.empty()) out << "<pre class=\"statement\">" << html(c.statement) << "</pre>\n";
    const Plots& p = plots[k];
    if (!p.figures.empty() || !p.notes.empty()) {
      out << "<h3>Plots</h3>\n<div class=\"plots\">\n";
      for (const Figure& f : p.figures) {
        const std::string fid = id + "-" + f.id;
        out << "<figure id=\"" << html(fid) << "\">\n" << to_svg(f, fid) << "</figure>\n";
      }
      out << "</div>\n";
      for (const std::string& n : p.notes) out << "<p class=\"note\">" << html(n) << "</p>\n";
    }
    if (!c.listing.empty())
      out << "<h3>Printed output</h3>\n<pre class=\"listing\">" << html(c.listing) << "</pre>\n";
    if (!c.log.empty()) {
      out << "<ul class=\"log\">\n";
      for (const LogEntry& e : c.log)
        out << "<li class=\"" << severity_class(e.severity) << "\">" << severity_name(e.severity) << ": "
            << html(e.text) << "</li>\n";
      out << "</ul>\n";
    }
    if (!c.error.empty()) out << "<p class=\"error\">" << html(c.error) << "</p>\n";
    if (c.error.empty() && !c.record.results.empty()) {
      out << "<h3>Results</h3>\n";
      for (size_t r = 0; r < c.record.results.size(); ++r) {
        const Matrix& m = c.record.results[r];
        std::string name = r < c.result_names.size() && !c.result_names[r].empty()
                               ? c.result_names[r] + " (result " + std::to_string(r + 1) + ")"
                               : "result " + std::to_string(r + 1);
        out << "<h4>" << html(name) << ", " << m.rows << " x " << m.cols << "</h4>\n";
        if (!m.empty()) out << matrix_table(m);
      }
    }
    out << "</section>\n";
  }
  out << "</body>\n</html>\n";
}

void HtmlReport::write_file(const std::string& path, const RoutineCaller& caller) const {
  std::ostringstream text;
  write(text, caller);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw Error("The report file " + path + " could not be opened for writing.");
  file << text.str();
  file.close();
  if (!file) throw Error("The report file " + path + " could not be written.");
}

ReportRecorder::~ReportRecorder() = default;

void ReportRecorder::emit(const OutputObject& object) {
  std::string text;
  if (const auto* t = std::get_if<TextLine>(&object))
    text = render_text_line(*t, 80);
  else if (const auto* m = std::get_if<MatrixOutput>(&object))
    text = render_matrix_output(*m, 80);
  else
    text = render_table_output(std::get<TableOutput>(object), 80);
  if (in_call_ && pending_)
    pending_->listing += text;
  else
    report_.add_text(std::move(text));
}

void ReportRecorder::show_value(std::string_view name, const Value& value) {
  flush();
  report_.add_text(render_value(name, value, 80));
}

void ReportRecorder::call_begins(std::string_view routine) {
  flush();
  pending_.emplace();
  pending_->record.routine = std::string(routine);
  in_call_ = true;
}

void ReportRecorder::call_ends() { in_call_ = false; }

void ReportRecorder::log(const LogEntry& entry) {
  if (pending_) {
    pending_->log.push_back(entry);
    return;
  }
  const auto kind = entry.severity == LogEntry::Severity::kError     ? HtmlReport::TextKind::kError
                    : entry.severity == LogEntry::Severity::kWarning ? HtmlReport::TextKind::kWarning
                                                                     : HtmlReport::TextKind::kNote;
  report_.add_text(std::string(severity_name(entry.severity)) + ": " + entry.text, kind);
}

void ReportRecorder::error(std::string_view message) {
  if (pending_ && !in_call_) {
    pending_->error = std::string(message);
    flush();
    return;
  }
  flush();
  report_.add_text(std::string(message), HtmlReport::TextKind::kError);
}

void ReportRecorder::record_call(CallRecord record,
                                 std::string where,
                                 std::string statement,
                                 std::vector<std::string> result_names) {
  if (!pending_) pending_.emplace();
  pending_->record = std::move(record);
  pending_->result_names = std::move(result_names);
  pending_->where = std::move(where);
  pending_->statement = std::move(statement);
  in_call_ = false;
  report_.add_call(std::move(*pending_));
  pending_.reset();
}

void ReportRecorder::flush() {
  if (!pending_) return;
  report_.add_call(std::move(*pending_));
  pending_.reset();
  in_call_ = false;
}

}  // namespace robmat::host::plots
