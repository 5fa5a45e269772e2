// The listing: what people read. Text lines, module matrices and row tables and the values the
// language displays, rendered as aligned plain text. One number rule everywhere (format_number)
// and one column rule (format_column), so a value looks the same in every place it appears.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display.h"
#include "robmat/host/matrix.h"
#include "robmat/host/output.h"

namespace robmat::host {

// A number as printf's "%.8g": at most 8 significant digits, trailing zeros dropped, exponent
// form when the decimal exponent is below -4 or at least 8. The missing value is ".", other
// NaNs "NaN", infinities "Inf" and "-Inf", and both zeros "0".
std::string format_number(double v);

// The cells of one column, all of one width. When no cell needs an exponent the cells are
// aligned on their decimal points (".", "NaN" and "Inf" end where the integer digits end);
// otherwise they are right-aligned.
std::vector<std::string> format_column(std::span<const double> values);

// A value as the language displays it. With a name: "x = 5" for a scalar, "x = \"text\"" for a
// character value, "x = [](0x3)" for an empty matrix, else "x =" and then the rows (a header
// line first when the matrix has column names). Without a name (disp): the same without the
// "x =" part, and character values unquoted. Every line ends with '\n'.
// Columns that do not fit in width continue in blocks below, each headed "Columns a to b".
std::string render_value(std::string_view name, const Value& value, int width = 80);

std::string render_text_line(const TextLine& line, int width);
// Shape "sb" (symmetric) shows the lower triangle and the diagonal only; "rb" and "db" show
// every element. Rows without names are numbered from 1, and so are columns.
std::string render_matrix_output(const MatrixOutput& m, int width);
// The header is shown even when the table has no rows.
std::string render_table_output(const TableOutput& t, int width);

class ListingSink : public Display {
 public:
  enum class Progress { kNone, kBar, kLines };
  // out receives the listing; progress notes go to progress_out (a bar redrawn in place on a
  // terminal, one line per tenth otherwise). width centres text lines and titles.
  ListingSink(std::ostream& out, std::ostream* progress_out, Progress style, int width = 80);

  void emit(const OutputObject& object) override;
  void progress(int percent) override;
  void show_value(std::string_view name, const Value& value) override;
  // The width values wrap at (the terminal's); the module's listing keeps its own width.
  void set_value_width(int width) { value_width_ = width; }

 private:
  std::ostream& out_;
  std::ostream* progress_out_;
  Progress style_;
  int width_;
  int value_width_;
  int last_progress_ = -1;
};

}  // namespace robmat::host
