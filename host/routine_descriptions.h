// What the host knows about each routine beyond the module's table of argument counts and
// kinds: the names and roles of its arguments, its option positions, the names of its
// results and of their rows and columns, and a review of its results. Session::call applies
// the same rules to every routine from this table (non-finite and empty data refused,
// options that the routine would truncate or ignore warned about, results named); a routine
// joins by adding its entry to kDescriptions in routine_descriptions.cpp.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "robmat/host/matrix.h"

namespace robmat::host {

enum class ArgRole {
  kOptions,  // an option vector: may be empty; a missing element takes the default
  kData,     // observations (rows) by variables (columns): at least one of each
  kSubset,   // observation numbers
  kKeyword,  // a character value
};

struct ArgDescription {
  const char* name;  // as the help and the messages call it, e.g. "x"
  ArgRole role;
};

enum class OptionKind { kInteger, kReal };

struct OptionDescription {
  int position;      // 1-based
  const char* name;  // what the option sets, e.g. "the print level"
  OptionKind kind;   // a non-integral value of an integer option is truncated by the routine
};

// The names of a result's rows or columns: parts in order, each a literal name or
// "{variables}" (the names of the variables: the columns of the data argument, or the
// routine's own VAR1, VAR2, ... when it has none) or "{observations}" (the row names of the
// data argument; the part names nothing when it has none). Parts are used while they fit:
// the names are given only when whole parts add up to the number of rows or columns, so
// optional trailing blocks (the correlation rows of MCD) are named when they are there.
struct ResultDescription {
  const char* name;  // e.g. "sc"
  std::span<const char* const> rows;
  std::span<const char* const> cols;
};

// What a routine's review sees after a call that succeeded: the arguments as given, the
// results (named already; the review may change values it knows to be presented wrongly),
// the names of the variables, and a way to warn.
struct Review {
  std::span<const Value* const> args;
  std::vector<Matrix>& results;
  const std::vector<std::string>& variables;
  std::function<void(std::string)> warn;
};

struct RoutineDescription {
  const char* name;  // as the module registers it
  std::span<const ArgDescription> args;
  int data_arg;  // 0-based argument whose columns are the variables; -1 for none
  // The names the routine's printed reports give unnamed variables ("VAR" for VAR1, VAR2,
  // ...), or null: the results of data without column names are then not named by variable.
  const char* report_prefix;
  // Every position the routine reads; a value at any other position is warned about as
  // unused. Empty: the option vector is not checked.
  std::span<const OptionDescription> options;
  std::span<const ResultDescription> results;
  void (*review)(const Review&);  // warnings about the outcome; may be null
};

// The description of a routine (case-insensitive), or null.
const RoutineDescription* describe_routine(std::string_view name);

// The name of argument i (0-based) for messages: "argument 2 (x)", or "argument 2".
std::string argument_label(const RoutineDescription* d, size_t i);

// The names of the variables of a call: the data argument's column names, or the names the
// routine's reports use (VAR1 .. VARp) for columns without one; empty without a data
// argument, and for data without names when the routine prints no reports.
std::vector<std::string> variable_names(const RoutineDescription* d, std::span<const Value* const> args);

// Names one result from its description (rows and columns), given the variables and the
// observations' names.
void name_result(const ResultDescription& r,
                 const std::vector<std::string>& variables,
                 const std::vector<std::string>& observations,
                 Matrix& m);

}  // namespace robmat::host
