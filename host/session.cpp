// Dispatch of one routine call: argument checks against the registered table, the DULSYM
// records, the front end under an xexit guard, then the checks that only the host can make
// (work space left behind, writes through stale result addresses) and the results.
#include "robmat/host/session.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "call_context.h"
#include "catalogue.h"
#include "loader.h"
#include "objects.h"

namespace robmat::host {

struct Session::Impl {
  const LoadedModule* module = nullptr;
  std::vector<RoutineInfo> infos;
  OutputSink* sink = nullptr;
  std::function<void(const LogEntry&)> log_handler;
  int fail_nth = 0;
  int fail_manager = 0;
  std::atomic<bool> interrupt{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "Session::interrupt runs in signal handlers");
};

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::string kind_name(ArgKind k) {
  return k == ArgKind::kCharacter ? "a character value" : "a numeric matrix";
}

std::string expected_counts(const RoutineInfo& r) {
  if (r.fmin == r.fmax) return std::to_string(r.fmin);
  return std::to_string(r.fmin) + " to " + std::to_string(r.fmax);
}

std::string log_tail(const std::vector<LogEntry>& log) {
  std::string s;
  for (const auto& e : log)
    if (e.severity == LogEntry::Severity::kError) s += "\n  " + e.text;
  return s;
}

// Frees whatever the call still holds; returns a description of leaked work space.
std::string release_call(CallContext& c) {
  std::string leak;
  if (!c.work.empty()) {
    int64_t bytes = 0;
    for (auto& [p, n] : c.work) {
      bytes += n;
      std::free(p);
    }
    leak = std::to_string(c.work.size()) + " block(s) of work space (" + std::to_string(bytes) + " bytes)";
    c.work.clear();
  }
  release_pools(c);
  return leak;
}

bool stale_write(const CallContext& c) {
  for (int k = 1; k <= 3; ++k) {
    const ResultSlot& s = c.results[k];
    for (size_t r = 0; r < s.retired.size(); ++r)
      for (size_t i = 0; i < s.retired_size[r]; ++i)
        if (std::memcmp(&s.retired[r][i], &kStaleCanary, sizeof(double)) != 0) return true;
  }
  return false;
}

}  // namespace

Session::Session(const std::string& module_path) : impl_(std::make_unique<Impl>()) {
  impl_->module = &load_module(module_path);
  for (const auto& r : impl_->module->routines) impl_->infos.push_back(r.info);
}

Session::~Session() = default;

const std::vector<RoutineInfo>& Session::routines() const { return impl_->infos; }

const RoutineInfo* Session::find(std::string_view name) const {
  std::string u = upper(name);
  for (const auto& r : impl_->infos)
    if (upper(r.name) == u) return &r;
  return nullptr;
}

void Session::set_output(OutputSink* sink) { impl_->sink = sink; }
void Session::set_log_handler(std::function<void(const LogEntry&)> h) { impl_->log_handler = std::move(h); }
void Session::interrupt() noexcept { impl_->interrupt.store(true); }
bool Session::take_interrupt() noexcept { return impl_->interrupt.exchange(false); }
void Session::fail_nth_allocation(int n) { impl_->fail_nth = n; }
void Session::fail_manager_creation(int mode) { impl_->fail_manager = mode; }

std::string Session::module_version() const {
  const VIMODCON* c = impl_->module->control;
  auto field = [](const char* p, size_t n) { return std::string(p, strnlen(p, n)); };
  return field(c->portverl, sizeof c->portverl) + " (" + field(c->portver, sizeof c->portver) + ", release " +
         field(c->releasenum, sizeof c->releasenum) + ", built " + field(c->builddate, sizeof c->builddate) +
         ")";
}

namespace {

// Trailing omitted arguments do not count; the count and kinds must fit the routine's entry.
size_t check_call(const RoutineInfo& info, std::span<const Value* const> args) {
  size_t given = args.size();
  while (given > 0 && args[given - 1] == nullptr) --given;
  if (static_cast<int>(given) < info.fmin || static_cast<int>(given) > info.fmax)
    throw Error("The routine " + info.name + " takes " + expected_counts(info) + " arguments, but " +
                std::to_string(given) + (given == 1 ? " was" : " were") + " given.");
  for (size_t i = 0; i < given; ++i) {
    if (args[i] == nullptr) {
      if (static_cast<int>(i) < info.fmin)
        throw Error("The routine " + info.name + " needs argument " + std::to_string(i + 1) + ".");
      continue;
    }
    ArgKind want = info.kind(static_cast<int>(i));
    bool is_text = std::holds_alternative<std::string>(*args[i]);
    // An empty matrix stands for "no value" where a character value is expected.
    bool empty_matrix = !is_text && std::get<Matrix>(*args[i]).empty();
    if ((want == ArgKind::kNumeric && is_text) || (want == ArgKind::kCharacter && !is_text && !empty_matrix))
      throw ArgumentError("Argument " + std::to_string(i + 1) + " of " + info.name + " must be " +
                              kind_name(want) + ", but " +
                              (is_text ? "a character value" : "a numeric matrix") + " was given.",
                          static_cast<int>(i));
  }
  return given;
}

// The argument records, over copies, so that no routine can change a caller's value.
struct ArgumentRecords {
  std::vector<Matrix> copies;
  std::vector<std::string> texts;
  std::vector<DULSYM> recs;
  std::vector<DULSYM*> ptrs;

  ArgumentRecords(const RoutineInfo& info, std::span<const Value* const> args, size_t given)
      : copies(given), texts(given), recs(given), ptrs(given, nullptr) {
    for (size_t i = 0; i < given; ++i) {
      if (args[i] == nullptr) continue;
      DULSYM& d = recs[i];
      std::memset(&d, 0, sizeof d);
      if (const auto* s = std::get_if<std::string>(args[i])) {
        texts[i] = *s;
        d.type = 'c';
        d.rows = 1;
        d.cols = 1;
        d.elen = static_cast<int64_t>(texts[i].size());
        d.addr = texts[i].data();
      } else {
        copies[i] = std::get<Matrix>(*args[i]);
        if (copies[i].rows > INT32_MAX || copies[i].cols > INT32_MAX)
          throw Error("Argument " + std::to_string(i + 1) + " of " + info.name +
                      " is too large for the module.");
        d.type = 'n';
        d.rows = static_cast<int32_t>(copies[i].rows);
        d.cols = static_cast<int32_t>(copies[i].cols);
        d.elen = 8;
        d.addr = copies[i].data.data();
      }
      ptrs[i] = &d;
    }
  }
};

// How the front end ended: its status, the code of an xexit, or an interrupt.
struct Outcome {
  int32_t status = 0;
  bool exited = false;
  bool interrupted = false;
  ExitUnwind exit{0, 0};
};

// Runs the front end with ctx as the current call, telling the sink when the call begins and
// ends; an xexit or an interrupt unwinds to here.
Outcome run_front_end(const RegisteredRoutine& reg, ArgumentRecords& records, CallContext& ctx) {
  Outcome o;
  int32_t count = static_cast<int32_t>(records.ptrs.size());
  CallContext* saved = current_call();
  set_current_call(&ctx);
  struct CallNotice {
    OutputSink* sink;
    ~CallNotice() {
      if (sink) sink->call_ends();
    }
  } notice{ctx.sink};
  if (ctx.sink) ctx.sink->call_begins(reg.info.name);
  try {
    o.status = reg.entry(records.ptrs.data(), &count);
  } catch (const ExitUnwind& e) {
    o.exited = true;
    o.exit = e;
  } catch (const InterruptUnwind&) {
    o.interrupted = true;
  } catch (...) {
    set_current_call(saved);
    release_call(ctx);
    throw Error("Internal error: the routine " + reg.info.name + " raised an exception inside the module.");
  }
  set_current_call(saved);
  return o;
}

std::vector<Matrix> results_of(const CallContext& ctx, int nres) {
  std::vector<Matrix> out;
  for (int k = 1; k <= nres; ++k) {
    const ResultSlot& s = ctx.results[k];
    Matrix m(s.created ? s.rows : 0, s.created ? s.cols : 0);
    if (s.created && !m.data.empty())
      std::memcpy(m.data.data(), s.data.get(), m.data.size() * sizeof(double));
    out.push_back(std::move(m));
  }
  return out;
}

// The error of a failed call: what the routine logged says more than its status does.
RoutineError routine_error(const RoutineInfo& info, const Outcome& o, CallContext& ctx) {
  std::string message;
  if (o.exited) {
    message = "The routine " + info.name + " ended with code " + std::to_string(o.exit.code) + "." +
              log_tail(ctx.log);
  } else {
    std::string first, rest;
    for (const auto& e : ctx.log) {
      if (e.severity != LogEntry::Severity::kError) continue;
      if (first.empty())
        first = e.text;
      else
        rest += "\n  " + e.text;
    }
    std::string why =
        first.empty() ? status_text(o.status) : first + " (status " + std::to_string(o.status) + ")";
    message = "The routine " + info.name + " failed: " + why + rest;
  }
  RoutineError e(message, info.name, o.exited ? -1 : o.status, o.exited ? o.exit.code : 0);
  e.log = std::move(ctx.log);
  e.results = results_of(ctx, info.nresults());
  e.requests = ctx.work_requests;
  return e;
}

bool all_missing(const Matrix& m) {
  return !m.data.empty() && std::all_of(m.data.begin(), m.data.end(), [](double v) { return is_missing(v); });
}

// An engine that fails is not an error of the call: the front end returns 0 and leaves every
// result missing, and the engine logged why.
bool engine_failed(const CallResult& r) {
  const bool logged_error = std::any_of(
      r.log.begin(), r.log.end(), [](const LogEntry& e) { return e.severity == LogEntry::Severity::kError; });
  return logged_error && !r.results.empty() && std::all_of(r.results.begin(), r.results.end(), all_missing);
}

}  // namespace

CallResult Session::call(std::string_view name, std::span<const Value* const> args) {
  const RegisteredRoutine* reg = nullptr;
  std::string u = upper(name);
  for (const auto& r : impl_->module->routines)
    if (upper(r.info.name) == u) reg = &r;
  if (reg == nullptr) throw Error("There is no routine named " + std::string(name) + ".");
  const RoutineInfo& info = reg->info;
  ArgumentRecords records(info, args, check_call(info, args));

  CallContext ctx;
  ctx.routine = info.name;
  ctx.fail_nth = impl_->fail_nth;
  ctx.fail_manager = impl_->fail_manager;
  ctx.sink = impl_->sink;
  ctx.log_handler = impl_->log_handler;
  ctx.interrupt = &impl_->interrupt;
  impl_->fail_nth = 0;
  impl_->fail_manager = 0;
  Outcome outcome = run_front_end(*reg, records, ctx);
  // An interrupt that came after the module's last service still cancels the call.
  if (impl_->interrupt.exchange(false)) outcome.interrupted = true;

  // Only the host can see these faults: work space left behind, writes to moved results.
  std::string leak = release_call(ctx);
  if (outcome.interrupted) throw Interrupted(info.name);
  if (outcome.exited) throw routine_error(info, outcome, ctx);
  if (!leak.empty())
    throw Error("Internal error: the routine " + info.name + " left " + leak +
                " allocated when it returned.");
  if (stale_write(ctx))
    throw Error("Internal error: the routine " + info.name +
                " wrote to a result through an address that was no longer valid.");
  if (outcome.status != 0) throw routine_error(info, outcome, ctx);
  if (!info.call_routine && !ctx.results[1].created)
    throw Error("Internal error: the function " + info.name + " returned without a value.");

  CallResult out;
  out.log = std::move(ctx.log);
  out.results = results_of(ctx, info.nresults());
  out.engine_failed = engine_failed(out);
  out.requests = ctx.work_requests;
  return out;
}

CallResult Session::call_quietly(std::string_view name, std::span<const Value* const> args) {
  struct Restore {
    Impl& impl;
    OutputSink* sink;
    std::function<void(const LogEntry&)> log;
    ~Restore() {
      impl.sink = sink;
      impl.log_handler = std::move(log);
    }
  } restore{*impl_, impl_->sink, std::move(impl_->log_handler)};
  impl_->sink = nullptr;
  impl_->log_handler = nullptr;
  return call(name, args);
}

std::string default_module_path() {
  if (const char* env = std::getenv("ROBMAT_MODULE"); env && *env) return env;
  Dl_info dl{};
  if (dladdr(reinterpret_cast<void*>(&default_module_path), &dl) && dl.dli_fname) {
    auto dir = std::filesystem::path(dl.dli_fname).parent_path();
    return (dir / "librobmat.so").string();
  }
  return "librobmat.so";
}

}  // namespace robmat::host
