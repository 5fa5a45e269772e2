// A stand-in for the module behind the interpreter: three routines with the registration
// shapes of the real ones (a function, a call routine with three results, a routine that
// fails), emitting output objects and log lines the way a Session does.
#pragma once

#include <string>
#include <vector>

#include "language/backend.h"
#include "robmat/host/output.h"

namespace robmat::testing {

// MAD(x [, "method"]): function; column medians of |x - median| (missing values skipped).
// LTS(opt, y, x): call routine; results [nrow(y) ncol(x)], x' * y and y (prints a text line
//   and a matrix, logs a note).
// FAIL(x): call routine; logs an error line and throws RoutineError (exit code 7).
class FakeBackend : public lang::RoutineBackend {
 public:
  FakeBackend();
  const host::RoutineInfo* find(std::string_view name) const override;
  host::CallResult call(std::string_view name, std::span<const host::Value* const> args) override;

  host::OutputSink* sink = nullptr;
  std::vector<std::string> calls;  // name and argument count of each call, e.g. "LTS/3"

 private:
  std::vector<host::RoutineInfo> routines_;
};

}  // namespace robmat::testing
