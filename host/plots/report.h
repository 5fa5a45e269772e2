// The HTML report of a run: one self-contained file (inline CSS and SVG, no scripts, nothing
// fetched) with a table of contents, the listing in the order it was produced, and for every
// routine call what it printed, its results as tables and its diagnostic plots.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display.h"
#include "plots/plots.h"

namespace robmat::host::plots {

// One routine call in a report.
struct ReportCall {
  CallRecord record;
  std::string where;                      // "script.rm, line 4"; may be empty
  std::string statement;                  // the statement's source text; may be empty
  std::string listing;                    // what the routine printed, as the listing shows it
  std::vector<LogEntry> log;              // what it logged
  std::vector<std::string> result_names;  // the names its results were assigned to, if any
  std::string error;                      // non-empty: the call failed with this message
};

class HtmlReport {
 public:
  explicit HtmlReport(std::string title);

  // A piece of the run's listing between calls: displayed values, log lines, errors.
  enum class TextKind { kListing, kNote, kWarning, kError };
  void add_text(std::string text, TextKind kind = TextKind::kListing);
  void add_call(ReportCall call);
  size_t call_count() const;

  // Writes the document; the plots are drawn now. caller serves the plots that need another
  // routine (see build_plots) and may be empty.
  void write(std::ostream& out, const RoutineCaller& caller) const;
  // Writes the document to a file; throws Error when the file cannot be written.
  void write_file(const std::string& path, const RoutineCaller& caller) const;

 private:
  struct Block {
    TextKind kind;
    std::string text;
    std::optional<size_t> call;  // index into calls_
  };
  std::string title_;
  std::vector<Block> blocks_;
  std::vector<ReportCall> calls_;
};

// A Display that records a run of the robmat program into an HtmlReport: output objects
// printed during a routine call belong to that call, everything else to the listing between
// calls. The program attaches the call's arguments and results with record_call.
class ReportRecorder : public Display {
 public:
  explicit ReportRecorder(HtmlReport& report) : report_(report) {}
  ~ReportRecorder() override;

  void emit(const OutputObject& object) override;
  void show_value(std::string_view name, const Value& value) override;
  void call_begins(std::string_view routine) override;
  void call_ends() override;
  void log(const LogEntry& entry);
  void error(std::string_view message);
  // The call that just ended, with what went in and came out.
  void record_call(CallRecord record,
                   std::string where,
                   std::string statement,
                   std::vector<std::string> result_names);
  // Hands a call still waiting for its record (one that failed) to the report.
  void flush();

 private:
  HtmlReport& report_;
  std::optional<ReportCall> pending_;
  bool in_call_ = false;
};

}  // namespace robmat::host::plots
