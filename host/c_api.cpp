// The C interface over Session: handles own C++ objects, and every entry point catches
// everything, because an exception must never cross into C (or into Python's ctypes). Each call
// collects its own listing, JSON and log through sinks installed for that call only, so a
// result handle is self-contained and can be read without the session's lock.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "display.h"
#include "help.h"
#include "json_output.h"
#include "listing.h"
#include "plots/report.h"
#include "plots/svg.h"
#include "progress.h"
#include "robmat/host/session.h"
#include "robmat_host.h"

using robmat::host::LogEntry;
using robmat::host::Matrix;
using robmat::host::Value;

struct robmat_session {
  std::unique_ptr<robmat::host::Session> session;  // null when the module did not load
  std::mutex call_mutex;
  // Separate from call_mutex so that reading the last error never waits for a long call.
  std::mutex error_mutex;
  std::string error;
  // Progress reports (robmat_session_set_progress); read and written under call_mutex.
  robmat_progress_fn progress = nullptr;
  void* progress_user = nullptr;
  int progress_delay_ms = 1000;
  int progress_period_ms = 250;

  void set_error(std::string text) {
    std::lock_guard lock(error_mutex);
    error = std::move(text);
  }
};

struct robmat_args {
  std::vector<std::optional<Value>> values;  // nullopt: an omitted argument
  bool listing = true;                       // render the listing of the call (robmat_args_set_listing)
  int first_code = ROBMAT_OK;
  std::string first_error;

  int fail(int code, std::string text) {
    if (first_code == ROBMAT_OK) {
      first_code = code;
      first_error = "Argument " + std::to_string(values.size() + 1) + " could not be added: " + text;
    }
    return code;
  }
};

struct robmat_result {
  int code = ROBMAT_OK;
  int status = 0;
  int exit_code = 0;
  bool engine_failed = false;
  std::string error;
  std::vector<Matrix> results;
  std::vector<LogEntry> log;
  std::string listing;
  std::string json;
  // For the plots and the report: the routine, its arguments (kept only for a routine that has
  // plots), names of the observations, and the plots' JSON once built.
  std::string routine;
  std::vector<std::optional<Value>> args;
  std::vector<std::string> row_names;
  std::optional<std::string> plots;

  const Matrix* matrix(int k) const {
    if (k < 1 || k > static_cast<int>(results.size())) return nullptr;
    return &results[static_cast<size_t>(k - 1)];
  }
};

namespace {

const char kOutOfMemory[] = "The host ran out of memory.";

int severity_code(LogEntry::Severity s) {
  switch (s) {
    case LogEntry::Severity::kError:
      return ROBMAT_LOG_ERROR;
    case LogEntry::Severity::kWarning:
      return ROBMAT_LOG_WARNING;
    case LogEntry::Severity::kNote:
      break;
  }
  return ROBMAT_LOG_NOTE;
}

// The JSON of a call that failed before its sinks existed: the error alone.
std::string error_only_json(const std::string& message) {
  std::ostringstream out;
  robmat::host::JsonSink json(out);
  json.error(message);
  json.finish();
  return out.str();
}

// Runs one call with the session locked; fills r completely, whatever happens.
void run_call(robmat_session& s, const char* routine, const robmat_args* args, robmat_result& r) {
  if (args != nullptr && args->first_code != ROBMAT_OK) {
    r.code = args->first_code;
    r.error = args->first_error;
    return;
  }
  std::vector<const Value*> pointers;
  if (args != nullptr)
    for (const auto& v : args->values) pointers.push_back(v ? &*v : nullptr);

  std::ostringstream listing_text;
  std::ostringstream json_text;
  {
    robmat::host::ListingSink listing(listing_text, nullptr, robmat::host::ListingSink::Progress::kNone);
    robmat::host::JsonSink json(json_text);
    robmat::host::DisplayTee tee;
    if (args == nullptr || args->listing) tee.add(&listing);
    tee.add(&json);

    std::lock_guard lock(s.call_mutex);
    // The sinks live in this frame: the session must not keep pointing at them afterwards.
    struct Detach {
      robmat::host::Session& session;
      ~Detach() {
        session.set_output(nullptr);
        session.set_log_handler(nullptr);
      }
    } detach{*s.session};
    // With progress reports the output passes through a meter that reports the call.
    std::optional<robmat::host::ProgressMeter> meter;
    std::optional<robmat::host::ProgressSink> metered;
    robmat::host::OutputSink* out = &tee;
    if (s.progress != nullptr) {
      meter.emplace(
          [report = s.progress, user = s.progress_user](const robmat::host::ProgressState& p) {
            report(user, p.routine.c_str(), p.seconds, p.percent, p.done ? 1 : 0);
          },
          std::chrono::milliseconds(s.progress_delay_ms),
          std::chrono::milliseconds(s.progress_period_ms));
      metered.emplace(tee, *meter);
      out = &*metered;
    }
    s.session->set_output(out);
    s.session->set_log_handler([&](const LogEntry& e) {
      r.log.push_back(e);
      json.log(e);
    });
    try {
      robmat::host::CallResult called = s.session->call(routine, pointers);
      r.results = std::move(called.results);
      r.engine_failed = called.engine_failed;
      // The host's verdict: a failed engine fails the call, as a refusal does; the results
      // (all missing) stay readable.
      if (called.engine_failed) {
        r.code = ROBMAT_ERR_ROUTINE;
        r.error = called.failure;
      }
      if (const auto* info = s.session->find(routine)) r.routine = info->name;
      if (args != nullptr && robmat::host::plots::has_plots(routine)) r.args = args->values;
    } catch (const robmat::host::Interrupted& e) {
      r.code = ROBMAT_ERR_INTERRUPTED;
      r.error = e.what();
    } catch (const robmat::host::RoutineError& e) {
      r.code = ROBMAT_ERR_ROUTINE;
      r.error = e.what();
      r.status = e.status;
      r.exit_code = e.exit_code;
    } catch (const robmat::host::Error& e) {
      r.code = ROBMAT_ERR_CALL;
      r.error = e.what();
    }
    if (r.code != ROBMAT_OK) json.error(r.error);
    json.finish();
  }
  r.listing = listing_text.str();
  r.json = json_text.str();
}

robmat::host::plots::CallRecord record_of(const robmat_result& r) {
  return {r.routine, r.args, r.results, r.row_names};
}

// A caller for the plots that need another routine; the session's lock must be held.
robmat::host::plots::RoutineCaller quiet_caller(robmat_session& s) {
  return [&s](std::string_view name, std::span<const Value* const> args) {
    return s.session->call_quietly(name, args);
  };
}

std::string plots_json(robmat_session& s, const robmat_result& r) {
  using json = nlohmann::ordered_json;
  json out{{"plots", json::array()}, {"notes", json::array()}};
  if (r.code != ROBMAT_OK || r.engine_failed || r.routine.empty()) {
    if (r.code != ROBMAT_OK || r.engine_failed)
      out["notes"].push_back("The call failed, so it has no plots.");
    return out.dump();
  }
  robmat::host::plots::Plots plots;
  {
    std::lock_guard lock(s.call_mutex);
    plots = robmat::host::plots::build_plots(record_of(r), quiet_caller(s));
  }
  for (const auto& f : plots.figures) {
    json item = robmat::host::plots::figure_to_json(f);
    item["svg"] = robmat::host::plots::to_svg(f, r.routine + "-" + f.id);
    out["plots"].push_back(std::move(item));
  }
  for (const std::string& n : plots.notes) out["notes"].push_back(n);
  return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The session that SIGINT interrupts (robmat_catch_interrupts) and the handler it replaced.
std::atomic<robmat_session*> g_catching{nullptr};
struct sigaction g_previous_sigint {};

void on_sigint(int) {
  // Only an atomic store: this runs in a signal handler.
  if (robmat_session* s = g_catching.load(); s != nullptr && s->session) s->session->interrupt();
}

}  // namespace

extern "C" {

double robmat_missing(void) { return robmat::host::missing(); }
int robmat_is_missing(double value) { return robmat::host::is_missing(value) ? 1 : 0; }

const char* robmat_host_version(void) { return ROBMAT_VERSION; }

int robmat_session_open(const char* module_path, robmat_session** session) {
  if (session == nullptr) return ROBMAT_ERR_ARGUMENT;
  *session = nullptr;
  robmat_session* s = new (std::nothrow) robmat_session;
  if (s == nullptr) return ROBMAT_ERR_MEMORY;
  *session = s;
  try {
    std::string path = module_path != nullptr ? module_path : robmat::host::default_module_path();
    s->session = std::make_unique<robmat::host::Session>(path);
    return ROBMAT_OK;
  } catch (const std::bad_alloc&) {
    s->set_error(kOutOfMemory);
    return ROBMAT_ERR_MEMORY;
  } catch (const std::exception& e) {
    s->set_error(e.what());
  } catch (...) {
    s->set_error("The module could not be loaded for an unknown reason.");
  }
  return ROBMAT_ERR_OPEN;
}

void robmat_session_close(robmat_session* session) {
  robmat_catch_interrupts(session, 0);
  delete session;
}

size_t robmat_session_error(robmat_session* session, char* buffer, size_t size) {
  if (session == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  std::lock_guard lock(session->error_mutex);
  const std::string& e = session->error;
  if (buffer != nullptr && size > 0) {
    size_t n = std::min(size - 1, e.size());
    std::memcpy(buffer, e.data(), n);
    buffer[n] = '\0';
  }
  return e.size();
}

int robmat_session_routine_count(robmat_session* session) {
  if (session == nullptr || !session->session) return 0;
  return static_cast<int>(session->session->routines().size());
}

const char* robmat_session_routine(robmat_session* session, int index) {
  if (session == nullptr || !session->session || index < 0) return nullptr;
  const auto& r = session->session->routines();
  return static_cast<size_t>(index) < r.size() ? r[static_cast<size_t>(index)].name.c_str() : nullptr;
}

robmat_args* robmat_args_new(void) { return new (std::nothrow) robmat_args; }

void robmat_args_free(robmat_args* args) { delete args; }

int robmat_args_add_matrix(
    robmat_args* args, int64_t rows, int64_t cols, const double* data, const char* const* colnames) {
  if (args == nullptr) return ROBMAT_ERR_ARGUMENT;
  try {
    if (rows < 0 || cols < 0) return args->fail(ROBMAT_ERR_ARGUMENT, "a matrix cannot have a negative size.");
    if (cols != 0 && rows > INT64_MAX / cols / static_cast<int64_t>(sizeof(double)))
      return args->fail(ROBMAT_ERR_ARGUMENT, "the matrix is too large.");
    Matrix m;
    m.rows = rows;
    m.cols = cols;
    if (rows * cols > 0) {
      if (data == nullptr) return args->fail(ROBMAT_ERR_ARGUMENT, "the data of a non-empty matrix is null.");
      // Every NaN becomes the missing value here, in the one copy the arguments need, so
      // that the call can hand the matrix to the routine in place.
      m.data.assign(data, data + rows * cols);
      for (double& v : m.data) v = robmat::host::nan_to_missing(v);
    }
    if (colnames != nullptr) {
      for (int64_t j = 0; j < cols; ++j) {
        const char* name = colnames[j];
        m.colnames.emplace_back(name != nullptr ? name : "");
      }
    }
    args->values.emplace_back(std::move(m));
    return ROBMAT_OK;
  } catch (const std::bad_alloc&) {
    return args->fail(ROBMAT_ERR_MEMORY, kOutOfMemory);
  } catch (...) {
    return args->fail(ROBMAT_ERR_MEMORY, kOutOfMemory);
  }
}

int robmat_args_add_text(robmat_args* args, const char* text) {
  if (args == nullptr) return ROBMAT_ERR_ARGUMENT;
  if (text == nullptr) return args->fail(ROBMAT_ERR_ARGUMENT, "the text is null.");
  try {
    args->values.emplace_back(std::string(text));
    return ROBMAT_OK;
  } catch (...) {
    return args->fail(ROBMAT_ERR_MEMORY, kOutOfMemory);
  }
}

int robmat_args_set_listing(robmat_args* args, int on) {
  if (args == nullptr) return ROBMAT_ERR_ARGUMENT;
  args->listing = on != 0;
  return ROBMAT_OK;
}

int robmat_args_add_omitted(robmat_args* args) {
  if (args == nullptr) return ROBMAT_ERR_ARGUMENT;
  try {
    args->values.emplace_back(std::nullopt);
    return ROBMAT_OK;
  } catch (...) {
    return args->fail(ROBMAT_ERR_MEMORY, kOutOfMemory);
  }
}

int robmat_call(robmat_session* session,
                const char* routine,
                const robmat_args* args,
                robmat_result** result) {
  if (result != nullptr) *result = nullptr;
  if (session == nullptr) return ROBMAT_ERR_ARGUMENT;
  robmat_result* r = new (std::nothrow) robmat_result;
  if (r == nullptr) {
    session->set_error(kOutOfMemory);
    return ROBMAT_ERR_MEMORY;
  }
  try {
    if (!session->session) {
      std::string why;
      {
        std::lock_guard lock(session->error_mutex);
        why = session->error;
      }
      r->code = ROBMAT_ERR_CALL;
      r->error = "The session has no module to call: " + why;
    } else if (routine == nullptr) {
      r->code = ROBMAT_ERR_ARGUMENT;
      r->error = "No routine name was given.";
    } else {
      run_call(*session, routine, args, *r);
    }
  } catch (const std::bad_alloc&) {
    *r = robmat_result{};
    r->code = ROBMAT_ERR_MEMORY;
    r->error = kOutOfMemory;
  } catch (const std::exception& e) {
    *r = robmat_result{};
    r->code = ROBMAT_ERR_CALL;
    r->error = std::string("Internal error: ") + e.what();
  } catch (...) {
    *r = robmat_result{};
    r->code = ROBMAT_ERR_CALL;
    r->error = "Internal error: the call failed for an unknown reason.";
  }
  int code = r->code;
  try {
    if (r->json.empty()) r->json = code == ROBMAT_OK ? "[]\n" : error_only_json(r->error);
    session->set_error(r->error);
  } catch (...) {
  }
  if (result != nullptr) {
    *result = r;
  } else {
    delete r;
  }
  return code;
}

void robmat_result_free(robmat_result* result) { delete result; }

int robmat_result_count(const robmat_result* result) {
  return result != nullptr ? static_cast<int>(result->results.size()) : 0;
}

int64_t robmat_result_rows(const robmat_result* result, int k) {
  const Matrix* m = result != nullptr ? result->matrix(k) : nullptr;
  return m != nullptr ? m->rows : 0;
}

int64_t robmat_result_cols(const robmat_result* result, int k) {
  const Matrix* m = result != nullptr ? result->matrix(k) : nullptr;
  return m != nullptr ? m->cols : 0;
}

const double* robmat_result_data(const robmat_result* result, int k) {
  const Matrix* m = result != nullptr ? result->matrix(k) : nullptr;
  return m != nullptr && !m->data.empty() ? m->data.data() : nullptr;
}

const char* robmat_result_listing(const robmat_result* result) {
  return result != nullptr ? result->listing.c_str() : "";
}

const char* robmat_result_json(const robmat_result* result) {
  return result != nullptr ? result->json.c_str() : "[]\n";
}

int64_t robmat_result_log_count(const robmat_result* result) {
  return result != nullptr ? static_cast<int64_t>(result->log.size()) : 0;
}

int robmat_result_log_severity(const robmat_result* result, int64_t i) {
  if (result == nullptr || i < 0 || i >= static_cast<int64_t>(result->log.size())) return 0;
  return severity_code(result->log[static_cast<size_t>(i)].severity);
}

const char* robmat_result_log_text(const robmat_result* result, int64_t i) {
  if (result == nullptr || i < 0 || i >= static_cast<int64_t>(result->log.size())) return nullptr;
  return result->log[static_cast<size_t>(i)].text.c_str();
}

int robmat_result_code(const robmat_result* result) {
  return result != nullptr ? result->code : ROBMAT_ERR_ARGUMENT;
}

const char* robmat_result_error(const robmat_result* result) {
  return result != nullptr ? result->error.c_str() : "";
}

int robmat_result_status(const robmat_result* result) { return result != nullptr ? result->status : 0; }

int robmat_result_exit_code(const robmat_result* result) { return result != nullptr ? result->exit_code : 0; }

namespace {

const char* name_at(const std::vector<std::string>& names, int64_t i) {
  if (names.empty() || i < 0 || i >= static_cast<int64_t>(names.size())) return nullptr;
  return names[static_cast<size_t>(i)].c_str();
}

}  // namespace

const char* robmat_result_colname(const robmat_result* result, int k, int64_t j) {
  const Matrix* m = result != nullptr ? result->matrix(k) : nullptr;
  return m != nullptr ? name_at(m->colnames, j) : nullptr;
}

const char* robmat_result_rowname(const robmat_result* result, int k, int64_t i) {
  const Matrix* m = result != nullptr ? result->matrix(k) : nullptr;
  return m != nullptr ? name_at(m->rownames, i) : nullptr;
}

int robmat_result_engine_failed(const robmat_result* result) {
  return result != nullptr && result->engine_failed ? 1 : 0;
}

void robmat_interrupt(robmat_session* session) {
  if (session != nullptr && session->session) session->session->interrupt();
}

int robmat_catch_interrupts(robmat_session* session, int on) {
  if (session == nullptr) return ROBMAT_ERR_ARGUMENT;
  if (on) {
    robmat_session* none = nullptr;
    if (!g_catching.compare_exchange_strong(none, session))
      return none == session ? ROBMAT_OK : ROBMAT_ERR_ARGUMENT;
    if (session->session) session->session->take_interrupt();
    struct sigaction sa {};
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &g_previous_sigint);
    return ROBMAT_OK;
  }
  if (g_catching.load() != session) return ROBMAT_OK;
  sigaction(SIGINT, &g_previous_sigint, nullptr);
  g_catching.store(nullptr);
  if (session->session) session->session->take_interrupt();
  return ROBMAT_OK;
}

int robmat_session_set_progress(
    robmat_session* session, robmat_progress_fn report, void* user, int delay_ms, int period_ms) {
  if (session == nullptr || delay_ms < 0 || period_ms < 1) return ROBMAT_ERR_ARGUMENT;
  std::lock_guard lock(session->call_mutex);
  session->progress = report;
  session->progress_user = user;
  session->progress_delay_ms = delay_ms;
  session->progress_period_ms = period_ms;
  return ROBMAT_OK;
}

int robmat_result_set_row_names(robmat_result* result, const char* const* names, int64_t count) {
  if (result == nullptr || count < 0 || (count > 0 && names == nullptr)) return ROBMAT_ERR_ARGUMENT;
  try {
    std::vector<std::string> v;
    for (int64_t i = 0; i < count; ++i) v.emplace_back(names[i] != nullptr ? names[i] : "");
    result->row_names = std::move(v);
    result->plots.reset();
    return ROBMAT_OK;
  } catch (...) {
    return ROBMAT_ERR_MEMORY;
  }
}

const char* robmat_result_plots(robmat_session* session, robmat_result* result) {
  static const char kNone[] = "{\"plots\":[],\"notes\":[]}";
  if (session == nullptr || !session->session || result == nullptr) return kNone;
  try {
    if (!result->plots) result->plots = plots_json(*session, *result);
    return result->plots->c_str();
  } catch (...) {
    return kNone;
  }
}

int robmat_report_write(
    robmat_session* session, robmat_result* const* results, int count, const char* title, const char* path) {
  if (session == nullptr || !session->session || path == nullptr || count < 0 ||
      (count > 0 && results == nullptr))
    return ROBMAT_ERR_ARGUMENT;
  try {
    robmat::host::plots::HtmlReport report(title != nullptr && *title ? title : "robmat report");
    for (int k = 0; k < count; ++k) {
      const robmat_result* r = results[k];
      if (r == nullptr) return ROBMAT_ERR_ARGUMENT;
      robmat::host::plots::ReportCall call;
      call.record = record_of(*r);
      if (call.record.routine.empty()) call.record.routine = "call " + std::to_string(k + 1);
      call.listing = r->listing;
      call.log = r->log;
      call.error = r->code != ROBMAT_OK ? r->error : std::string();
      report.add_call(std::move(call));
    }
    std::lock_guard lock(session->call_mutex);
    report.write_file(path, quiet_caller(*session));
    session->set_error("");
    return ROBMAT_OK;
  } catch (const std::bad_alloc&) {
    session->set_error(kOutOfMemory);
    return ROBMAT_ERR_MEMORY;
  } catch (const std::exception& e) {
    session->set_error(e.what());
    return ROBMAT_ERR_CALL;
  }
}

const char* robmat_help(const char* topic) {
  static std::mutex mutex;
  static std::map<std::string, std::string> texts;  // nodes never move: c_str() stays valid
  try {
    std::string key = topic != nullptr ? topic : "";
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
    std::lock_guard lock(mutex);
    if (auto it = texts.find(key); it != texts.end()) return it->second.c_str();
    std::string text;
    if (key.empty()) {
      for (const auto& r : robmat::host::routine_summaries())
        text += std::string(r.name) + "  " + std::string(r.summary) +
                (r.available ? "" : " (not available yet)") + "\n";
    } else if (auto help = robmat::host::routine_help(key)) {
      text = std::move(*help);
    } else {
      return nullptr;
    }
    return texts.emplace(key, std::move(text)).first->second.c_str();
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"
