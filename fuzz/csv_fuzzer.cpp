// Fuzz target for the CSV reader. The first byte picks the options (header, separator, text
// mode); the rest is the file. Properties: the reader either returns a matrix whose shape,
// data and names agree, or throws host::Error (never a crash or another exception); and the
// matrix written and read back has the same names and the same values, bit for bit.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "csv.h"

namespace {

// NaNs other than the missing value are all written "NaN", so their sign and payload are not
// kept; every other value keeps its bits.
bool same_value(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return robmat::host::is_missing(a) == robmat::host::is_missing(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using robmat::host::CsvOptions;
  CsvOptions options;
  const uint8_t pick = data[0];
  options.header = (pick & 1) == 0;
  static const char kSeparators[] = {',', ';', '\t', '|'};
  options.separator = kSeparators[(pick >> 1) & 3];
  options.text = static_cast<CsvOptions::Text>(((pick >> 3) & 3) % 3);
  if (pick & 0x20) options.column_numbers = {2, 1};
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  robmat::host::Matrix m;
  try {
    m = robmat::host::parse_csv(text, "fuzz.csv", options);
  } catch (const robmat::host::Error& e) {
    if (std::strlen(e.what()) == 0) std::abort();
    return 0;
  }
  if (m.rows < 0 || m.cols < 0 || m.data.size() != static_cast<size_t>(m.rows * m.cols)) std::abort();
  if (options.header ? m.colnames.size() != static_cast<size_t>(m.cols) : !m.colnames.empty()) std::abort();
  if (options.text == CsvOptions::Text::kError && !options.column_numbers.empty() && m.cols != 2)
    std::abort();
  // A header-less matrix with no columns cannot be written as a file that reads back.
  if (m.cols == 0) return 0;
  robmat::host::Matrix back;
  try {
    back = robmat::host::parse_csv(robmat::host::format_csv(m), "written.csv");
  } catch (const robmat::host::Error& e) {
    std::fprintf(stderr, "the written matrix does not read back: %s\n", e.what());
    std::abort();
  }
  if (back.rows != m.rows || back.cols != m.cols) std::abort();
  if (options.header && back.colnames != m.colnames) std::abort();
  for (size_t k = 0; k < m.data.size(); ++k) {
    if (!same_value(back.data[k], m.data[k])) {
      std::fprintf(stderr, "element %zu: wrote %.17g, read %.17g\n", k, m.data[k], back.data[k]);
      std::abort();
    }
  }
  return 0;
}
