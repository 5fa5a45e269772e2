// A host session: one loaded module, its registered routines, and calls into it. The
// robmat language, the program, the C API and Python all go through this one class.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "robmat/host/matrix.h"
#include "robmat/host/output.h"

namespace robmat::host {

struct LogEntry {
  enum class Severity { kError, kWarning, kNote } severity;
  std::string text;
};

// "error", "warning" or "note", as the program and JSON output name the severities.
inline const char* severity_name(LogEntry::Severity s) {
  return s == LogEntry::Severity::kError ? "error" : s == LogEntry::Severity::kWarning ? "warning" : "note";
}

// Every failure a user can cause; the message is a complete sentence.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An argument of the wrong kind; index is 0-based.
class ArgumentError : public Error {
 public:
  ArgumentError(std::string msg, int i) : Error(std::move(msg)), index(i) {}
  int index;
};

// A failed routine call: a status code from the front end or an xexit code.
class RoutineError : public Error {
 public:
  RoutineError(std::string msg, std::string name, int front_end_status, int code)
      : Error(std::move(msg)), routine(std::move(name)), status(front_end_status), exit_code(code) {}
  std::string routine;
  int status;                   // front-end status, or -1 for an xexit
  int exit_code;                // the xexit code, 0 when the routine returned
  std::vector<LogEntry> log;    // everything the routine logged before it failed
  std::vector<Matrix> results;  // the results the routine had created (0 x 0 for the others)
  int64_t requests = 0;         // work-space and result requests the call made
};

// A routine call cancelled by Session::interrupt (Ctrl-C); everything it held is freed.
class Interrupted : public Error {
 public:
  explicit Interrupted(const std::string& routine)
      : Error("The routine " + routine + " was interrupted; its results were discarded.") {}
};

enum class ArgKind { kNumeric = 1, kCharacter = 2 };

struct RoutineInfo {
  std::string name;  // as registered (trailing '*' dropped)
  int fmin = 0;
  int fmax = 0;
  bool call_routine = false;  // fdesc 1: results go to output arguments
  int64_t fargi = 0;
  ArgKind kind(int i) const { return static_cast<ArgKind>((fargi >> (3 * i)) & 7); }
  int nresults() const { return call_routine ? 3 : 1; }
};

struct CallResult {
  std::vector<Matrix> results;  // results 1..k in order (a function has one)
  std::vector<LogEntry> log;    // lines the routine logged during the call
  // The routine returned 0 but its engine failed: it logged an error and left every result
  // missing. The results stand as returned; every binding treats the call as failed (the
  // language fails the statement, the C API returns ROBMAT_ERR_ROUTINE, Python raises) with
  // `failure` as the message.
  bool engine_failed = false;
  std::string failure;   // "The routine MCD failed: ..." when engine_failed
  int64_t requests = 0;  // work-space and result requests the call made
};

class Session {
 public:
  // Loads the module file; throws Error with a clear message on any loader failure.
  explicit Session(const std::string& module_path);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::vector<RoutineInfo>& routines() const;
  const RoutineInfo* find(std::string_view name) const;  // case-insensitive

  // Calls a routine: checks argument count and kinds, runs the front end, returns results.
  // Throws Error for bad calls, RoutineError when the front end fails or exits.
  // Arguments may be null for an omitted optional argument.
  CallResult call(std::string_view name, std::span<const Value* const> args);

  // As call, with nothing printed or logged as it happens (the log lines are in the result):
  // for the host's own use of a routine, such as a plot that needs robust distances.
  CallResult call_quietly(std::string_view name, std::span<const Value* const> args);

  // Where printed output (text lines, matrices, tables) and log lines go as they happen.
  void set_output(OutputSink* sink);
  void set_log_handler(std::function<void(const LogEntry&)> handler);

  // Cancels the routine call that is running, or the next one: the call ends at the next
  // service the module asks for (or when it returns) and throws Interrupted. Safe to call
  // from a signal handler and from any thread.
  void interrupt() noexcept;
  // Whether an interrupt is pending (no call has consumed it yet); clears it.
  bool take_interrupt() noexcept;

  // The module's version stamps, for --version.
  std::string module_version() const;

  // Test hook: fail the Nth work-space or result request of the next call (0: never). The
  // call's `requests` tells whether it got that far.
  void fail_nth_allocation(int n);
  // Test hook: the next output-manager creation yields null (1) or a negative status (-1).
  void fail_manager_creation(int mode);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The default module path: $ROBMAT_MODULE, else librobmat.so beside the host library.
std::string default_module_path();

}  // namespace robmat::host
