// The robmat program: runs a robmat script, statements given with -e, or an interactive
// session on a terminal. The listing goes to standard output, the log (errors and notes) to
// standard error, --json writes the same run for programs and --html a report with the plots
// of every routine call (html_report(file) in a script does too). On a terminal a long routine
// call shows a progress line on standard error. Exit status: 0 success, 1 a statement
// failed or the output could not be written, 2 the program could not start (bad arguments,
// module, files).
#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>
// clang-format off
#include <editline/readline.h>
// clang-format on

#include "files.h"
#include "help.h"
#include "interactive.h"
#include "json_output.h"
#include "language/interpreter.h"
#include "language/parser.h"
#include "language/session_backend.h"
#include "listing.h"
#include "plots/report.h"
#include "progress.h"
#include "robmat/host/session.h"

namespace {

using robmat::host::LogEntry;

constexpr int kExitStatementFailed = 1;
constexpr int kExitCannotStart = 2;

std::string kind_name(const robmat::host::RoutineInfo& r, int i) {
  switch (static_cast<int>(r.kind(i))) {
    case 1:
      return "numeric";
    case 2:
      return "character";
    default:
      return "any";
  }
}

void list_routines(const robmat::host::Session& session) {
  std::vector<std::vector<std::string>> rows = {{"routine", "type", "arguments", "kinds"}};
  for (const auto& r : session.routines()) {
    std::string kinds;
    for (int i = 0; i < r.fmax; ++i) kinds += (i ? ", " : "") + kind_name(r, i);
    const std::string count =
        r.fmin == r.fmax ? std::to_string(r.fmin) : std::to_string(r.fmin) + " to " + std::to_string(r.fmax);
    rows.push_back({r.name, r.call_routine ? "call routine" : "function", count, kinds});
  }
  std::vector<size_t> width(4, 0);
  for (const auto& row : rows) {
    for (size_t j = 0; j < row.size(); ++j) width[j] = std::max(width[j], row[j].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t j = 0; j < row.size(); ++j) {
      line += row[j];
      if (j + 1 < row.size()) line += std::string(width[j] - row[j].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::cout << line << '\n';
  }
}

// The session that Ctrl-C interrupts while the REPL runs.
robmat::host::Session* g_session = nullptr;
void interrupt_session() {
  if (g_session != nullptr) g_session->interrupt();
}

class Runner {
 public:
  Runner(robmat::lang::Interpreter& interp,
         robmat::host::Session& session,
         robmat::host::JsonSink* json,
         robmat::host::plots::ReportRecorder& recorder,
         robmat::host::ProgressMeter* meter)
      : interp_(interp), session_(session), json_(json), recorder_(recorder), meter_(meter) {}

  // Runs one piece of source; reports a failure on standard error (and in the JSON).
  bool run(const std::string& name, std::string text) {
    robmat::lang::SourceFile source(name, std::move(text));
    try {
      interp_.run(source);
      return true;
    } catch (const robmat::lang::LanguageError& e) {
      report(e.what());
      return false;
    }
  }

  void report(const std::string& message) {
    std::cout.flush();
    auto write = [&] { std::cerr << message << std::endl; };
    if (meter_)
      meter_->write_around(write);
    else
      write();
    if (json_) json_->error(message);
    recorder_.error(message);
  }

  void repl() {
    const char* home = std::getenv("HOME");
    const std::string history = home ? std::string(home) + "/.robmat_history" : std::string();
    // Before the line editor initializes (reading the history does), so it takes our key reader.
    g_session = &session_;
    robmat::app::catch_sigint(interrupt_session);
    rl_readline_name = "robmat";
    stifle_history(1000);
    if (!history.empty()) read_history(history.c_str());
    robmat::app::install_completion([this] {
      std::vector<std::string> names = interp_.variable_names();
      for (const auto& r : session_.routines()) names.push_back(r.name);
      return names;
    });
    std::cout << robmat::app::banner(ROBMAT_VERSION) << std::flush;
    std::string pending;
    int entry = 0;
    for (;;) {
      robmat::app::take_sigint();
      std::unique_ptr<char, decltype(&std::free)> line(readline(pending.empty() ? "robmat> " : "   ...> "),
                                                       &std::free);
      if (robmat::app::take_sigint()) {
        // Ctrl-C at the prompt drops the line (and an unfinished statement), not the session.
        std::cout << (line ? "\n" : "^C\n") << std::flush;
        pending.clear();
        continue;
      }
      if (!line) break;
      if (pending.empty()) {
        const auto command = robmat::app::parse_command(line.get());
        if (command.kind == robmat::app::Command::kQuit) {
          add_history(line.get());
          break;
        }
        if (command.kind == robmat::app::Command::kHelp) {
          add_history(line.get());
          show_help(command.topic);
          continue;
        }
      }
      pending += line.get();
      pending += '\n';
      if (pending.find_first_not_of(" \t\r\n") == std::string::npos) {
        pending.clear();
        continue;
      }
      // An open bracket asks for another line rather than failing.
      try {
        robmat::lang::parse(robmat::lang::SourceFile("<input>", pending));
      } catch (const robmat::lang::LanguageError& e) {
        if (e.incomplete()) continue;
      }
      std::string text = std::move(pending);
      pending.clear();
      std::string hist = text;
      while (!hist.empty() && hist.back() == '\n') hist.pop_back();
      add_history(hist.c_str());
      session_.take_interrupt();  // a Ctrl-C typed at the prompt is not for this statement
      run("<input " + std::to_string(++entry) + ">", std::move(text));
      session_.take_interrupt();
    }
    robmat::app::restore_sigint();
    g_session = nullptr;
    std::cout << '\n';
    if (!history.empty()) write_history(history.c_str());
  }

  void show_help(const std::string& topic) {
    if (topic.empty()) {
      std::cout << robmat::app::overview_help(session_) << std::flush;
    } else if (auto text = robmat::app::topic_help(topic)) {
      std::cout << *text << std::flush;
    } else {
      std::cerr << "There is no routine or builtin named " << topic << "; 'help' lists them." << std::endl;
    }
  }

 private:
  robmat::lang::Interpreter& interp_;
  robmat::host::Session& session_;
  robmat::host::JsonSink* json_;
  robmat::host::plots::ReportRecorder& recorder_;
  robmat::host::ProgressMeter* meter_;
};

// The module the program loads by default: $ROBMAT_MODULE, else librobmat.so beside the host
// library (the installed library folder), else beside the program itself.
std::string module_beside_us() {
  std::string path = robmat::host::default_module_path();
  if (std::getenv("ROBMAT_MODULE") != nullptr || std::filesystem::exists(path)) return path;
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec && std::filesystem::exists(self.parent_path() / "librobmat.so"))
    return (self.parent_path() / "librobmat.so").string();
  return path;
}

}  // namespace

int run_program(int argc, char** argv) {
  CLI::App app("robmat: robust statistics in a small matrix language", "robmat");
  std::string script;
  std::vector<std::string> statements;
  std::string json_path;
  std::string html_path;
  std::string module_path;
  std::string help_routine;
  bool quiet = false, list = false, version = false;
  app.add_option(
      "script",
      script,
      "script file to run (.rm); without one, statements come from -e, a terminal or standard input");
  app.add_option("-e", statements, "statements to run (may be repeated)")->allow_extra_args(false);
  app.add_option("--json",
                 json_path,
                 "also write every output object and value as JSON to FILE ('-' for standard output)")
      ->type_name("FILE");
  app.add_option("--html",
                 html_path,
                 "also write an HTML report of the run to FILE: the listing, and the results and plots of "
                 "every routine call")
      ->type_name("FILE");
  app.add_flag("--quiet", quiet, "no listing on standard output");
  app.add_option("--module",
                 module_path,
                 "the module to load (default: $ROBMAT_MODULE, else librobmat.so beside the host library or "
                 "the program)")
      ->type_name("PATH");
  app.add_flag("--list-routines", list, "list the routines the module registers and exit");
  app.add_flag("--version", version, "show the versions of the program and the module and exit");
  app.add_option(
         "--help-routine", help_routine, "show the help of a routine (call, options, results) and exit")
      ->type_name("NAME");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitCannotStart;
  }
  if (!help_routine.empty()) {
    if (auto text = robmat::host::routine_help(help_routine)) {
      std::cout << *text;
      return 0;
    }
    std::string names;
    for (const auto& r : robmat::host::routine_summaries())
      names += (names.empty() ? "" : ", ") + std::string(r.name);
    std::cerr << "robmat: there is no routine named " << help_routine << "; the routines are " << names
              << ".\n";
    return kExitCannotStart;
  }
  if (!script.empty() && !statements.empty()) {
    std::cerr << "robmat: give a script file or -e statements, not both\n";
    return kExitCannotStart;
  }
  if (module_path.empty()) module_path = module_beside_us();

  std::unique_ptr<robmat::host::Session> session;
  try {
    session = std::make_unique<robmat::host::Session>(module_path);
  } catch (const robmat::host::Error& e) {
    if (version) {
      std::cout << "robmat " << ROBMAT_VERSION << "\nmodule: not loaded (" << e.what() << ")\n";
      return 0;
    }
    std::cerr << "robmat: " << e.what() << '\n';
    return kExitCannotStart;
  }
  if (version) {
    std::cout << "robmat " << ROBMAT_VERSION << "\nmodule: " << session->module_version() << '\n';
    return 0;
  }
  if (list) {
    list_routines(*session);
    return 0;
  }

  std::ofstream json_file;
  std::unique_ptr<robmat::host::JsonSink> json;
  if (!json_path.empty()) {
    if (json_path == "-") {
      json = std::make_unique<robmat::host::JsonSink>(std::cout);
    } else {
      json_file.open(json_path, std::ios::binary | std::ios::trunc);
      if (!json_file) {
        std::cerr << "robmat: cannot open " << json_path << " for writing\n";
        return kExitCannotStart;
      }
      json = std::make_unique<robmat::host::JsonSink>(json_file);
    }
  }
  robmat::host::ListingSink listing(std::cout, nullptr, robmat::host::ListingSink::Progress::kNone);
  // Values wrap at the terminal's width; elsewhere (files, pipes) at 80 columns.
  if (winsize ws{}; isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) {
    listing.set_value_width(ws.ws_col);
  }
  robmat::host::DisplayTee display;
  if (!quiet) display.add(&listing);
  if (json) display.add(json.get());
  // Every run is recorded, so that html_report(file) can write the run so far at any point.
  std::string title = "robmat report";
  if (!script.empty()) title += ": " + std::filesystem::path(script).filename().string();
  robmat::host::plots::HtmlReport report(title);
  robmat::host::plots::ReportRecorder recorder(report);
  display.add(&recorder);

  // The progress line: for a person at a terminal only, never beside JSON or in quiet runs.
  std::unique_ptr<robmat::host::ProgressMeter> meter;
  if (isatty(STDERR_FILENO) && !quiet && !json) {
    meter = std::make_unique<robmat::host::ProgressMeter>([](const robmat::host::ProgressState& p) {
      if (p.done)
        std::cerr << "\r\x1b[K" << std::flush;
      else
        std::cerr << '\r' << robmat::host::progress_text(p) << "\x1b[K" << std::flush;
    });
  }
  std::unique_ptr<robmat::host::ProgressSink> metered;
  if (meter) metered = std::make_unique<robmat::host::ProgressSink>(display, *meter);

  auto log = [&](const LogEntry& entry) {
    std::cout.flush();
    auto write = [&] {
      std::cerr << robmat::host::severity_name(entry.severity) << ": " << entry.text << std::endl;
    };
    if (meter)
      meter->write_around(write);
    else
      write();
    if (json) json->log(entry);
    recorder.log(entry);
  };
  session->set_output(metered ? static_cast<robmat::host::OutputSink*>(metered.get()) : &display);
  robmat::lang::SessionBackend backend(*session, log);
  robmat::lang::Interpreter interp(&backend, &display, log);
  interp.set_call_observer([&recorder](const robmat::lang::CallEvent& e) {
    robmat::host::plots::CallRecord record{std::string(e.routine), {}, e.result.results, {}};
    for (const robmat::host::Value& a : e.args) record.args.emplace_back(a);
    recorder.record_call(std::move(record), e.where, e.statement, e.result_names);
  });
  const robmat::host::plots::RoutineCaller quiet_call =
      [&session](std::string_view name, std::span<const robmat::host::Value* const> a) {
        return session->call_quietly(name, a);
      };
  auto write_report = [&](const std::string& path) {
    recorder.flush();
    report.write_file(path, quiet_call);
  };
  interp.set_report_writer(write_report);
  Runner runner(interp, *session, json.get(), recorder, meter.get());

  int status = 0;
  if (!statements.empty()) {
    for (const std::string& s : statements) {
      if (!runner.run("-e", s)) {
        status = kExitStatementFailed;
        break;
      }
    }
  } else if (!script.empty()) {
    std::string text;
    try {
      text = robmat::host::read_text_file(script);
    } catch (const robmat::host::Error& e) {
      std::cerr << "robmat: " << e.what() << '\n';
      return kExitCannotStart;
    }
    if (!runner.run(script, std::move(text))) status = kExitStatementFailed;
  } else if (isatty(STDIN_FILENO)) {
    runner.repl();
  } else {
    std::ostringstream buf;
    buf << std::cin.rdbuf();
    if (!runner.run("<stdin>", buf.str())) status = kExitStatementFailed;
  }
  if (!html_path.empty()) {
    try {
      write_report(html_path);
    } catch (const robmat::host::Error& e) {
      std::cerr << "robmat: " << e.what() << '\n';
      status = kExitStatementFailed;
    }
  }
  session->set_output(nullptr);
  if (json) json->finish();
  // A listing or JSON file that could not be written is a failed run, not a quiet success.
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "robmat: cannot write to standard output\n";
    status = kExitStatementFailed;
  }
  if (json_file.is_open()) {
    json_file.close();
    if (!json_file) {
      std::cerr << "robmat: cannot write " << json_path << '\n';
      status = kExitStatementFailed;
    }
  }
  return status;
}

int main(int argc, char** argv) {
  // Out of memory (or any other failure outside a statement) ends the program with a message,
  // never with std::terminate.
  try {
    return run_program(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "robmat: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "robmat: " << e.what() << '\n';
  }
  return kExitCannotStart;
}
