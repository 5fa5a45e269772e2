// Dispatch of one routine call: argument checks against the registered table, the DULSYM
// records, the front end under an xexit guard, then the checks that only the host can make
// (work space left behind, writes through stale result addresses) and the results.
#include "robmat/host/session.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>

#include "call_context.h"
#include "catalogue.h"
#include "listing.h"
#include "loader.h"
#include "objects.h"
#include "routine_descriptions.h"

namespace robmat::host {

struct Session::Impl {
  const LoadedModule* module = nullptr;
  std::vector<RoutineInfo> infos;
  OutputSink* sink = nullptr;
  std::function<void(const LogEntry&)> log_handler;
  int fail_nth = 0;
  int fail_manager = 0;
  std::atomic<bool> interrupt{false};
  WorkSpace work_space;  // blocks kept from one call for the next
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

// Frees whatever the call still holds; returns a description of leaked work space. A leaked
// block is not kept for later calls: the routine may still hold its address.
std::string release_call(CallContext& c) {
  std::string leak;
  if (!c.work.empty()) {
    int64_t bytes = 0;
    for (auto& [p, b] : c.work) {
      bytes += b.bytes;
      std::free(p);
    }
    leak = std::to_string(c.work.size()) + " block(s) of work space (" + std::to_string(bytes) + " bytes)";
    c.work.clear();
  }
  release_pools(c);
  if (c.space != nullptr) c.space->settle(c.large_peak);
  return leak;
}

bool stale_write(const CallContext& c) {
  for (int k = 1; k <= 3; ++k) {
    const ResultSlot& s = c.results[k];
    for (const std::vector<double>& r : s.retired)
      for (const double& v : r)
        if (std::memcmp(&v, &kStaleCanary, sizeof(double)) != 0) return true;
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

std::string capital(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

std::string cell_name(const Matrix& m, int64_t i, int64_t j) {
  std::string where = "row " + std::to_string(i + 1) + ", column " + std::to_string(j + 1);
  const auto uj = static_cast<size_t>(j);
  if (uj < m.colnames.size() && !m.colnames[uj].empty()) where += " (" + m.colnames[uj] + ")";
  return where;
}

// What a numeric argument holds besides finite numbers.
enum class Holds { kFinite, kMissing, kOther };  // kOther: an infinity or a NaN of another kind

// One pass that compilers vectorize finds most data finite; only data with other values get
// a second look.
Holds classify(const std::vector<double>& d) {
  constexpr uint64_t kExponent = 0x7FF0000000000000ull;
  uint64_t nonfinite = 0;
  for (double v : d) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    nonfinite |= static_cast<uint64_t>((b & kExponent) == kExponent);
  }
  if (nonfinite == 0) return Holds::kFinite;
  for (double v : d) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    if ((b & kExponent) == kExponent && b != kMissingBits) return Holds::kOther;
  }
  return Holds::kMissing;
}

std::vector<Holds> classify_arguments(std::span<const Value* const> args, size_t given) {
  std::vector<Holds> out(given, Holds::kFinite);
  for (size_t i = 0; i < given; ++i)
    if (const Matrix* m = args[i] ? std::get_if<Matrix>(args[i]) : nullptr) out[i] = classify(m->data);
  return out;
}

// What no routine can use, refused before the module runs: an infinite value in any numeric
// argument (the module's arithmetic would turn it into garbage or undefined conversions), and
// empty data.
void refuse_unusable(const RoutineInfo& info,
                     const RoutineDescription* desc,
                     std::span<const Value* const> args,
                     size_t given,
                     const std::vector<Holds>& holds) {
  for (size_t i = 0; i < given; ++i) {
    const Matrix* m = args[i] ? std::get_if<Matrix>(args[i]) : nullptr;
    if (m == nullptr) continue;
    const std::string which = argument_label(desc, i);
    if (desc != nullptr && i < desc->args.size() && desc->args[i].role == ArgRole::kData && m->empty())
      throw ArgumentError(capital(which) + " of " + info.name + " is empty (" + std::to_string(m->rows) +
                              " x " + std::to_string(m->cols) + "); " + info.name +
                              " needs at least one observation (row) and one variable (column).",
                          static_cast<int>(i));
    if (holds[i] != Holds::kOther) continue;
    for (int64_t k = 0; k < static_cast<int64_t>(m->data.size()); ++k) {
      const double v = m->data[static_cast<size_t>(k)];
      if (!std::isinf(v)) continue;
      throw ArgumentError(capital(which) + " of " + info.name + " holds " + (v > 0 ? "Inf" : "-Inf") +
                              " at " + cell_name(*m, k / m->cols, k % m->cols) + "; " + info.name +
                              " needs finite values, so remove or replace the infinite ones first.",
                          static_cast<int>(i));
    }
  }
}

// Warnings about option values that the routine would take otherwise than written: a
// fraction where it truncates to a whole number, a value other than 0 at a position it does
// not read.
std::vector<std::string> option_warnings(const RoutineInfo& info,
                                         const RoutineDescription* desc,
                                         std::span<const Value* const> args) {
  std::vector<std::string> out;
  if (desc == nullptr || desc->options.empty()) return out;
  for (size_t i = 0; i < desc->args.size() && i < args.size(); ++i) {
    if (desc->args[i].role != ArgRole::kOptions || args[i] == nullptr) continue;
    const Matrix* m = std::get_if<Matrix>(args[i]);
    if (m == nullptr || !(m->rows <= 1 || m->cols <= 1)) continue;
    for (size_t k = 0; k < m->data.size(); ++k) {
      const double v = m->data[k];
      if (is_missing(v) || std::isnan(v)) continue;
      const int position = static_cast<int>(k) + 1;
      const auto it = std::find_if(desc->options.begin(),
                                   desc->options.end(),
                                   [&](const OptionDescription& o) { return o.position == position; });
      const std::string opt = "Option " + std::to_string(position) + " of " + info.name;
      if (it == desc->options.end()) {
        // A 0 at a position the routine does not read is the usual placeholder, not a request.
        if (v != 0)
          out.push_back(opt + " is not used; its value " + format_number(v) +
                        " is ignored (leave it NA, or shorten the option vector).");
      } else if (it->kind == OptionKind::kInteger && v != std::trunc(v)) {
        out.push_back(opt + " (" + it->name + ") is " + format_number(v) +
                      ", but only whole numbers are meant; " + info.name + " truncates it to " +
                      format_number(std::trunc(v)) + ".");
      }
    }
  }
  return out;
}

// The argument records. The front ends only read their arguments (each copies what its
// engine changes), so a matrix is handed over in place; only one whose NaNs are not all the
// missing value is copied, to make them so. Under AddressSanitizer, the test configuration,
// the host also checks after the call that no argument changed.
struct ArgumentRecords {
  std::vector<Matrix> copies;
  std::vector<std::string> texts;
  std::vector<DULSYM> recs;
  std::vector<DULSYM*> ptrs;
#ifdef ROBMAT_ASAN
  std::vector<uint64_t> sums;
#endif

  ArgumentRecords(const RoutineInfo& info,
                  std::span<const Value* const> args,
                  size_t given,
                  const std::vector<Holds>& holds)
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
        const Matrix& m = std::get<Matrix>(*args[i]);
        if (m.rows > INT32_MAX || m.cols > INT32_MAX)
          throw Error("Argument " + std::to_string(i + 1) + " of " + info.name +
                      " is too large for the module.");
        const double* data = m.data.data();
        if (holds[i] == Holds::kOther) {
          copies[i].data.resize(m.data.size());
          std::transform(m.data.begin(), m.data.end(), copies[i].data.begin(), nan_to_missing);
          data = copies[i].data.data();
        }
        d.type = 'n';
        d.rows = static_cast<int32_t>(m.rows);
        d.cols = static_cast<int32_t>(m.cols);
        d.elen = 8;
        d.addr = const_cast<double*>(data);
      }
      ptrs[i] = &d;
    }
#ifdef ROBMAT_ASAN
    for (size_t i = 0; i < given; ++i) sums.push_back(checksum(i));
#endif
  }

#ifdef ROBMAT_ASAN
  uint64_t checksum(size_t i) const {
    if (ptrs[i] == nullptr) return 0;
    const auto* p = static_cast<const unsigned char*>(ptrs[i]->addr);
    const size_t n = ptrs[i]->type == 'n' ? static_cast<size_t>(ptrs[i]->rows) * ptrs[i]->cols * 8
                                          : static_cast<size_t>(ptrs[i]->elen);
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (size_t k = 0; k < n; ++k) h = (h ^ p[k]) * 1099511628211ull;
    return h;
  }
  // The first argument (1-based) whose elements changed during the call, or 0.
  size_t changed() const {
    for (size_t i = 0; i < sums.size(); ++i)
      if (checksum(i) != sums[i]) return i + 1;
    return 0;
  }
#else
  size_t changed() const { return 0; }
#endif
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

// The results, moved out of the call: take them once.
std::vector<Matrix> results_of(CallContext& ctx, int nres) {
  std::vector<Matrix> out;
  for (int k = 1; k <= nres; ++k) {
    ResultSlot& s = ctx.results[k];
    Matrix m;
    if (s.created) {
      m.rows = s.rows;
      m.cols = s.cols;
      m.data = std::move(s.data);
      m.data.resize(static_cast<size_t>(m.rows * m.cols));
    }
    for (double& v : m.data) v = nan_to_missing(v);
    out.push_back(std::move(m));
  }
  return out;
}

// The error of a failed call: what the routine logged says more than its status does.
// Where a front end found a missing value it does not allow: the first one in an argument
// other than an option vector (whose missing elements take defaults).
std::string missing_location(const RoutineInfo& info,
                             const RoutineDescription* desc,
                             std::span<const Value* const> args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (desc != nullptr && i < desc->args.size() && desc->args[i].role == ArgRole::kOptions) continue;
    const Matrix* m = args[i] ? std::get_if<Matrix>(args[i]) : nullptr;
    if (m == nullptr) continue;
    for (int64_t k = 0; k < static_cast<int64_t>(m->data.size()); ++k) {
      if (!std::isnan(m->data[static_cast<size_t>(k)])) continue;
      return capital(argument_label(desc, i)) + " of " + info.name + " holds a missing value at " +
             cell_name(*m, k / m->cols, k % m->cols) + ", where " + info.name + " allows none.";
    }
  }
  return {};
}

RoutineError routine_error(const RoutineInfo& info,
                           const RoutineDescription* desc,
                           std::span<const Value* const> args,
                           const Outcome& o,
                           CallContext& ctx) {
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
    std::string why = first;
    if (why.empty() && o.status == 17) why = missing_location(info, desc, args);
    if (why.empty())
      why = status_text(o.status);
    else
      why += " (status " + std::to_string(o.status) + ")";
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

// The first thing a call prints is preceded by one line that says which column of the data
// each VARk of the routine's report is, when the columns have names of their own.
class LegendSink : public OutputSink {
 public:
  LegendSink(OutputSink* next, std::string legend) : next_(next), legend_(std::move(legend)) {}
  void emit(const OutputObject& object) override {
    if (!shown_) {
      shown_ = true;
      next_->emit(TextLine{legend_, 'l', true});
    }
    next_->emit(object);
  }
  void progress(int percent) override { next_->progress(percent); }
  void call_begins(std::string_view routine) override { next_->call_begins(routine); }
  void call_ends() override { next_->call_ends(); }

 private:
  OutputSink* next_;
  std::string legend_;
  bool shown_ = false;
};

std::string report_legend(const RoutineDescription* desc,
                          std::span<const Value* const> args,
                          const std::vector<std::string>& variables) {
  if (desc == nullptr || desc->report_prefix == nullptr || desc->data_arg < 0) return {};
  const auto* x = static_cast<size_t>(desc->data_arg) < args.size() && args[desc->data_arg]
                      ? std::get_if<Matrix>(args[desc->data_arg])
                      : nullptr;
  if (x == nullptr) return {};
  std::vector<std::string> pairs;
  for (size_t j = 0; j < x->colnames.size() && j < variables.size(); ++j) {
    if (x->colnames[j].empty()) continue;
    pairs.push_back(desc->report_prefix + std::to_string(j + 1) + " is " + x->colnames[j]);
  }
  if (pairs.empty()) return {};
  std::string text = "In this report ";
  for (size_t k = 0; k < pairs.size(); ++k) {
    if (k > 0) text += k + 1 == pairs.size() ? " and " : ", ";
    text += pairs[k];
  }
  return text + ".";
}

// The observations' names: the data argument's row names.
std::vector<std::string> observation_names(const RoutineDescription* desc,
                                           std::span<const Value* const> args) {
  if (desc == nullptr || desc->data_arg < 0 || static_cast<size_t>(desc->data_arg) >= args.size()) return {};
  const Value* v = args[static_cast<size_t>(desc->data_arg)];
  const auto* x = v ? std::get_if<Matrix>(v) : nullptr;
  return x ? x->rownames : std::vector<std::string>{};
}

}  // namespace

CallResult Session::call(std::string_view name, std::span<const Value* const> args) {
  const RegisteredRoutine* reg = nullptr;
  std::string u = upper(name);
  for (const auto& r : impl_->module->routines)
    if (upper(r.info.name) == u) reg = &r;
  if (reg == nullptr) throw Error("There is no routine named " + std::string(name) + ".");
  const RoutineInfo& info = reg->info;
  const size_t given = check_call(info, args);
  const RoutineDescription* desc = describe_routine(info.name);
  const std::vector<Holds> holds = classify_arguments(args, given);
  refuse_unusable(info, desc, args, given, holds);
  ArgumentRecords records(info, args, given, holds);
  const std::vector<std::string> variables = variable_names(desc, args.first(given));

  CallContext ctx;
  ctx.routine = info.name;
  ctx.space = &impl_->work_space;
  ctx.fail_nth = impl_->fail_nth;
  ctx.fail_manager = impl_->fail_manager;
  ctx.sink = impl_->sink;
  ctx.log_handler = impl_->log_handler;
  ctx.interrupt = &impl_->interrupt;
  impl_->fail_nth = 0;
  impl_->fail_manager = 0;
  std::optional<LegendSink> legend;
  if (ctx.sink != nullptr) {
    if (std::string text = report_legend(desc, args.first(given), variables); !text.empty()) {
      legend.emplace(ctx.sink, std::move(text));
      ctx.sink = &*legend;
    }
  }
  for (std::string& w : option_warnings(info, desc, args.first(given)))
    ctx.add_log(LogEntry::Severity::kWarning, std::move(w));
  Outcome outcome = run_front_end(*reg, records, ctx);
  // An interrupt that came after the module's last service still cancels the call.
  if (impl_->interrupt.exchange(false)) outcome.interrupted = true;

  // Only the host can see these faults: work space left behind, writes to moved results.
  std::string leak = release_call(ctx);
  if (outcome.interrupted) throw Interrupted(info.name);
  if (outcome.exited) throw routine_error(info, desc, args.first(given), outcome, ctx);
  if (!leak.empty())
    throw Error("Internal error: the routine " + info.name + " left " + leak +
                " allocated when it returned.");
  if (stale_write(ctx))
    throw Error("Internal error: the routine " + info.name +
                " wrote to a result through an address that was no longer valid.");
  if (const size_t k = records.changed(); k != 0)
    throw Error("Internal error: the routine " + info.name + " changed its argument " + std::to_string(k) +
                ".");
  if (outcome.status != 0) throw routine_error(info, desc, args.first(given), outcome, ctx);
  if (!info.call_routine && !ctx.results[1].created)
    throw Error("Internal error: the function " + info.name + " returned without a value.");

  CallResult out;
  out.results = results_of(ctx, info.nresults());
  if (desc != nullptr) {
    const std::vector<std::string> observations = observation_names(desc, args.first(given));
    for (size_t k = 0; k < out.results.size() && k < desc->results.size(); ++k)
      name_result(desc->results[k], variables, observations, out.results[k]);
  }
  out.log = std::move(ctx.log);
  out.engine_failed = engine_failed(out);
  if (out.engine_failed) {
    std::string why;
    for (const auto& e : out.log)
      if (e.severity == LogEntry::Severity::kError) why += (why.empty() ? "" : " ") + e.text;
    out.failure = "The routine " + info.name + " failed: " + why;
  }
  if (!out.engine_failed && desc != nullptr && desc->review != nullptr) {
    desc->review(Review{args.first(given), out.results, variables, [&](std::string text) {
                          LogEntry e{LogEntry::Severity::kWarning, std::move(text)};
                          if (impl_->log_handler) impl_->log_handler(e);
                          out.log.push_back(std::move(e));
                        }});
  }
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
