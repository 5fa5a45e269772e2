// The diagnostic plots of a routine call. Which plots a routine has is declared as data in
// plots/declarations.cpp; this is the door the report, the program and the C API use.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plots/figure.h"
#include "robmat/host/session.h"

namespace robmat::host::plots {

// One routine call as the plots see it: what went in and what came out.
struct CallRecord {
  std::string routine;
  std::vector<std::optional<Value>> args;  // nullopt: an omitted argument
  std::vector<Matrix> results;
  std::vector<std::string> row_names;  // names of the observations; empty: their numbers
};

// Calls another routine with print level 0, for a plot that needs more than the call's own
// results (the robust distances of a regression's regressors come from MCD). Throws
// host::Error as Session::call does.
using RoutineCaller = std::function<CallResult(std::string_view routine, std::span<const Value* const> args)>;

struct Plots {
  std::vector<Figure> figures;
  std::vector<std::string> notes;  // a sentence for each declared plot that could not be drawn
};

// The plots declared for the call's routine, drawn from its arguments and results. A plot whose
// numbers are missing or do not fit (a failed engine, an unexpected shape) becomes a note.
// caller may be empty; plots that need it then become notes.
Plots build_plots(const CallRecord& call, const RoutineCaller& caller);

// Whether any plot is declared for the routine (case does not matter).
bool has_plots(std::string_view routine);

}  // namespace robmat::host::plots
