// Help on the module's routines: one text for each routine, written once here and shown by
// the REPL's `help`, by `robmat --help-routine` and (through the C API) by Python's
// docstrings, so the three never disagree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace robmat::host {

struct RoutineSummary {
  std::string_view name;     // as the module registers it, e.g. "MCD"
  std::string_view summary;  // one line
  bool available;            // false: registered, but not computed by this build yet
};

// Every routine that has a help text, in the order the overview lists them.
const std::vector<RoutineSummary>& routine_summaries();

// The full help of a routine (case-insensitive name): call form, arguments, the option
// vector as a table, print levels and the layout of every result, wrapped to 80 columns.
// nullopt when there is no routine of that name.
std::optional<std::string> routine_help(std::string_view name);

}  // namespace robmat::host
