// What the module prints, as the host receives it: text lines, matrices and row tables.
// A sink renders them (the listing for people, JSON for programs).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "robmat/host/matrix.h"

namespace robmat::host {

struct TextLine {
  std::string text;
  char justify = 'c';  // 'c' or 'l'
  bool opens_section = false;
};

struct MatrixOutput {
  std::string name;                   // output name, e.g. "MCDLocEst"
  std::string label;                  // catalogue label text
  std::string title;                  // catalogue title text (may be empty)
  std::string shape;                  // "rb", "sb" (symmetric) or "db"
  Matrix values;                      // values as received (full rows x cols)
  std::vector<std::string> rownames;  // empty: numbered rows
  std::vector<std::string> colnames;
  std::string template_name;  // "Base.NLP.<name>": selects the layout
};

struct TableColumn {
  std::string name;
  int type = 5;   // 3 int32, 4 int64, 5 double, 20 characters
  int width = 0;  // display width when given
};

struct TableOutput {
  std::string name;
  std::string label;
  std::string title;
  std::vector<TableColumn> columns;
  // One cell per column per row; numbers as doubles, characters as text.
  std::vector<std::vector<std::variant<double, std::string>>> rows;
  std::string template_name;  // the template the table was bound to
};

using OutputObject = std::variant<TextLine, MatrixOutput, TableOutput>;

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void emit(const OutputObject& object) = 0;
  virtual void progress(int percent) { (void)percent; }
  // A routine call begins and ends (also when it fails): a sink may show that it runs.
  virtual void call_begins(std::string_view routine) { (void)routine; }
  virtual void call_ends() {}
};

}  // namespace robmat::host
