// A small robmat session for tests: the interpreter over the fake backend, its listing in a
// string and its log lines in a vector.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fake_backend.h"
#include "language/interpreter.h"
#include "listing.h"

namespace robmat::testing {

struct Harness {
  FakeBackend backend;
  std::ostringstream listing;
  host::ListingSink sink{listing, nullptr, host::ListingSink::Progress::kNone};
  std::vector<std::string> log;
  lang::Interpreter interp{&backend, &sink, [this](const host::LogEntry& e) { log.push_back(e.text); }};

  Harness() { backend.sink = &sink; }

  // Runs code and returns what it displayed.
  std::string run(const std::string& code, const std::string& file = "t.rm") {
    listing.str("");
    interp.run(lang::SourceFile(file, code));
    return listing.str();
  }

  // Runs code that must fail and returns the whole error report.
  std::string error(const std::string& code) {
    try {
      run(code);
    } catch (const lang::LanguageError& e) {
      return e.what();
    }
    return "(no error)";
  }

  const host::Matrix& matrix(const std::string& name) {
    const host::Value* v = interp.get(name);
    if (!v || !std::holds_alternative<host::Matrix>(*v)) {
      static const host::Matrix kNone;
      ADD_FAILURE() << name << " is not a matrix";
      return kNone;
    }
    return std::get<host::Matrix>(*v);
  }

  std::vector<double> data(const std::string& name) { return matrix(name).data; }
  std::pair<int64_t, int64_t> shape(const std::string& name) {
    const host::Matrix& m = matrix(name);
    return {m.rows, m.cols};
  }
};

// The report of an error at where = "line:column: message" in code of t.rm: the place, the
// message, the source line and a caret under the column (for lines without tabs).
inline std::string report(const std::string& code, const std::string& where) {
  const size_t c1 = where.find(':'), c2 = where.find(':', c1 + 1);
  std::istringstream lines(code);
  std::string text;
  for (int line = std::stoi(where.substr(0, c1)); line > 0; --line) std::getline(lines, text);
  const size_t column = std::stoul(where.substr(c1 + 1, c2 - c1 - 1));
  return "t.rm:" + where.substr(0, c2) + ": error:" + where.substr(c2 + 1) + "\n  " + text + "\n" +
         std::string(column + 1, ' ') + "^";
}

}  // namespace robmat::testing
