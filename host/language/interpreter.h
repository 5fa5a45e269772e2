// The robmat language interpreter: variables, expressions, builtins and calls into the
// module's routines through a RoutineBackend. Values the program asks to see go to a
// host::Display; log lines of routine calls go to the log handler.
#pragma once

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "display.h"
#include "language/ast.h"
#include "language/backend.h"
#include "language/builtins.h"
#include "language/source.h"
#include "robmat/host/session.h"

namespace robmat::lang {

// A routine call that returned: what went in and came out, and where in the program it was.
struct CallEvent {
  std::string_view routine;
  std::span<const host::Value> args;
  const host::CallResult& result;
  std::string where;                      // "file, line N"
  std::string statement;                  // the source line of the statement
  std::vector<std::string> result_names;  // the variables the results are assigned to
};

class Interpreter {
 public:
  using LogHandler = std::function<void(const host::LogEntry&)>;
  using CallObserver = std::function<void(const CallEvent&)>;

  // backend and display may be null (no routines; nothing shown).
  Interpreter(RoutineBackend* backend, host::Display* display, LogHandler log = {});

  // Parses the whole source first, so a syntax error runs nothing; then runs the statements
  // in order and throws LanguageError at the first one that fails. A failing statement
  // assigns nothing; the statements before it keep their effects, and the interpreter stays
  // usable.
  void run(const SourceFile& source);

  const host::Value* get(std::string_view name) const;
  void set(const std::string& name, host::Value value);
  // The names of the variables, sorted (for completion in the REPL).
  std::vector<std::string> variable_names() const;

  // Told of every routine call that returns (before its results are assigned).
  void set_call_observer(CallObserver observer) { call_observer_ = std::move(observer); }
  // What html_report(file) does; without it html_report fails with a message.
  void set_report_writer(std::function<void(const std::string&)> writer) {
    builtin_context_.write_report = std::move(writer);
  }

 private:
  struct Results {
    std::vector<host::Value> values;
    std::string routine;  // set for a call routine: its results are shown one by one
  };

  void execute(const Statement& s);
  void show(std::string_view name, const host::Value& v);
  [[noreturn]] void fail(Loc loc, const std::string& message) const;

  host::Value eval(const Expr& e);
  static const Expr* left_operand(const Expr& e);
  host::Value eval_leaf(const Expr& e);
  host::Value apply_operator(const Expr& e, host::Value operand);
  host::Matrix eval_matrix(const Expr& e);
  host::Matrix eval_range(const Expr& e);
  Results apply(const Expr& e, int wanted);
  Results call_builtin(const Builtin& b, const Expr& e, int wanted);
  Results call_routine(const host::RoutineInfo& info, const Expr& e, int wanted);
  std::vector<host::Value> eval_args(const Expr& e);

  std::vector<int64_t> indices(const Expr& arg,
                               int64_t extent,
                               std::string_view what,
                               std::string_view subject);
  std::vector<int64_t> selected(const host::Matrix& mask,
                                const Expr& arg,
                                int64_t extent,
                                std::string_view what);
  host::Matrix index(const host::Value& v,
                     const std::vector<ExprPtr>& args,
                     std::string_view subject,
                     Loc loc);
  void assign_indexed(const Statement& s, host::Value value);

  RoutineBackend* backend_;
  host::Display* display_;
  LogHandler log_;
  BuiltinContext builtin_context_;
  std::map<std::string, host::Value, std::less<>> vars_;
  const SourceFile* src_ = nullptr;
  std::vector<int64_t> end_stack_;  // the value of 'end' in each open index
  CallObserver call_observer_;
  const Statement* statement_ = nullptr;  // the statement being executed
};

}  // namespace robmat::lang
