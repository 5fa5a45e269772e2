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

CallResult Session::call(std::string_view name, std::span<const Value* const> args) {
  const RegisteredRoutine* reg = nullptr;
  std::string u = upper(name);
  for (const auto& r : impl_->module->routines)
    if (upper(r.info.name) == u) reg = &r;
  if (reg == nullptr) throw Error("There is no routine named " + std::string(name) + ".");
  const RoutineInfo& info = reg->info;

  // Trailing omitted arguments do not count.
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

  // Argument records over copies, so that no routine can change a caller's value.
  std::vector<Matrix> copies(given);
  std::vector<std::string> texts(given);
  std::vector<DULSYM> recs(given);
  std::vector<DULSYM*> ptrs(given, nullptr);
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

  CallContext ctx;
  ctx.routine = info.name;
  ctx.fail_nth = impl_->fail_nth;
  ctx.fail_manager = impl_->fail_manager;
  ctx.sink = impl_->sink;
  ctx.log_handler = impl_->log_handler;
  ctx.interrupt = &impl_->interrupt;
  impl_->fail_nth = 0;
  impl_->fail_manager = 0;

  int32_t count = static_cast<int32_t>(given);
  int32_t status = 0;
  bool exited = false;
  bool interrupted = false;
  ExitUnwind exit_info{0, 0};
  CallContext* saved = current_call();
  set_current_call(&ctx);
  struct CallNotice {
    OutputSink* sink;
    ~CallNotice() {
      if (sink) sink->call_ends();
    }
  } notice{impl_->sink};
  if (impl_->sink) impl_->sink->call_begins(info.name);
  try {
    status = reg->entry(ptrs.data(), &count);
  } catch (const ExitUnwind& e) {
    exited = true;
    exit_info = e;
  } catch (const InterruptUnwind&) {
    interrupted = true;
  } catch (...) {
    set_current_call(saved);
    release_call(ctx);
    throw Error("Internal error: the routine " + info.name + " raised an exception inside the module.");
  }
  set_current_call(saved);
  // An interrupt that came after the module's last service still cancels the call.
  if (impl_->interrupt.exchange(false)) interrupted = true;

  std::string leak = release_call(ctx);
  if (interrupted) throw Interrupted(info.name);
  if (exited) {
    RoutineError e("The routine " + info.name + " ended with code " + std::to_string(exit_info.code) + "." +
                       log_tail(ctx.log),
                   info.name,
                   -1,
                   exit_info.code);
    e.log = std::move(ctx.log);
    throw e;
  }
  if (!leak.empty())
    throw Error("Internal error: the routine " + info.name + " left " + leak +
                " allocated when it returned.");
  if (stale_write(ctx))
    throw Error("Internal error: the routine " + info.name +
                " wrote to a result through an address that was no longer valid.");
  if (status != 0) {
    // What the routine logged says more than the status code does; lead with it.
    std::string first, rest;
    for (const auto& e : ctx.log) {
      if (e.severity != LogEntry::Severity::kError) continue;
      if (first.empty())
        first = e.text;
      else
        rest += "\n  " + e.text;
    }
    std::string why =
        first.empty() ? status_text(status) : first + " (status " + std::to_string(status) + ")";
    RoutineError e("The routine " + info.name + " failed: " + why + rest, info.name, status, 0);
    e.log = std::move(ctx.log);
    throw e;
  }

  CallResult out;
  out.log = std::move(ctx.log);
  int nres = info.nresults();
  for (int k = 1; k <= nres; ++k) {
    const ResultSlot& s = ctx.results[k];
    Matrix m(s.created ? s.rows : 0, s.created ? s.cols : 0);
    if (s.created && !m.data.empty())
      std::memcpy(m.data.data(), s.data.get(), m.data.size() * sizeof(double));
    out.results.push_back(std::move(m));
  }
  if (!info.call_routine && !ctx.results[1].created)
    throw Error("Internal error: the function " + info.name + " returned without a value.");
  return out;
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
