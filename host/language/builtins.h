// The builtin functions of the robmat language: data in and out (read_csv, write_csv),
// shapes (size, nrow, ncol), constructors (ones, zeros, eye), element functions (sqrt, abs,
// log, exp), tests (isnan, ismissing, complete_cases, find), reductions (sum, mean, median,
// any, all), disp, colnames and html_report.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display.h"
#include "robmat/host/matrix.h"

namespace robmat::lang {

struct BuiltinContext {
  host::Display* display = nullptr;  // where disp shows values; may be null
  // Writes the HTML report of the run so far to a file (the robmat program sets it); throws
  // host::Error when the file cannot be written. Empty: html_report is not available.
  std::function<void(const std::string& path)> write_report;
};

// Returns the builtin's results (none for write_csv and disp; two for [r, c] = size(x) when
// wanted is 2). Throws ValueError naming the faulty argument.
using BuiltinFn = std::vector<host::Value> (*)(BuiltinContext& ctx,
                                               std::span<const host::Value> args,
                                               int wanted);

struct Builtin {
  std::string_view name;
  int min_args;
  int max_args;
  int max_results;
  std::string_view usage;  // shown when the number of arguments is wrong
  BuiltinFn fn;
};

const Builtin* find_builtin(std::string_view name);
std::span<const Builtin> builtins();

}  // namespace robmat::lang
