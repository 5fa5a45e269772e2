// The example data sets of data/, read where the tests need them instead of inline copies:
// a CSV with one header row and numeric cells, row i being observation i.
#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace robmat::testing {

struct Dataset {
  std::vector<std::string> names;
  long rows = 0;
  long cols = 0;
  std::vector<double> values;  // row-major

  double at(long i, long j) const { return values[static_cast<size_t>(i * cols + j)]; }
  // Columns [from, to) as a row-major block of rows x (to - from).
  std::vector<double> columns(long from, long to) const {
    std::vector<double> out;
    for (long i = 0; i < rows; ++i)
      for (long j = from; j < to; ++j) out.push_back(at(i, j));
    return out;
  }
};

// data/<name>.csv of the source tree.
inline Dataset load_dataset(const std::string& name) {
  const std::string path = std::string(ROBMAT_SOURCE_DIR) + "/data/" + name + ".csv";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  Dataset d;
  std::string line, cell;
  std::getline(in, line);
  for (std::stringstream head(line); std::getline(head, cell, ',');) d.names.push_back(cell);
  d.cols = static_cast<long>(d.names.size());
  while (std::getline(in, line)) {
    std::stringstream row(line);
    while (std::getline(row, cell, ',')) d.values.push_back(std::stod(cell));
    ++d.rows;
  }
  return d;
}

}  // namespace robmat::testing
