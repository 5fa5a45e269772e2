// The host services behind the global control block. Each service acts on the call that is
// running on this thread (call_context.h); the module reaches them only through the vectors.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "call_context.h"
#include "catalogue.h"
#include "objects.h"
#include "services/sweep_step.h"
#include "services/thread_pool.h"

namespace robmat::host {

namespace {

thread_local CallContext* t_current = nullptr;

// Used when the module calls a service outside any call (mcn_main, vorilmts): log lines
// and memory then belong to the load, which has its own context.
CallContext& here() {
  if (t_current == nullptr) {
    std::fputs("robmat: internal error: a module service was used outside a routine call\n", stderr);
    std::abort();
  }
  // An interrupt unwinds the call from here, as xexit does: the services that reach the
  // call's context are the ones every long computation meets sooner or later.
  if (t_current->interrupt != nullptr && t_current->interrupt->exchange(false)) throw InterruptUnwind{};
  return *t_current;
}

std::string vformat(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

// ---- arguments, results, work space ----------------------------------------------------
int32_t s_duwarg2(DULSYM* a, int32_t* rows, int32_t* cols, int64_t* elen, void** addr) {
  if (a == nullptr) return 1;
  *rows = a->rows;
  *cols = a->cols;
  *elen = a->elen;
  *addr = a->addr;
  return 0;
}

bool request_fails(CallContext& c) { return ++c.work_requests == c.fail_nth; }

void* s_duwres(int32_t k, int32_t rows, int32_t cols) {
  CallContext& c = here();
  if (k < 1 || k > 3 || rows < 0 || cols < 0 || request_fails(c)) return nullptr;
  // Move every earlier result, as a host with a growing symbol table may; the old storage
  // keeps a canary so that writes through a stale address are found after the call.
  for (int j = 1; j <= 3; ++j) {
    ResultSlot& s = c.results[j];
    if (!s.created || j == k) continue;
    std::vector<double> moved = s.data;
    for (double& v : s.data) std::memcpy(&v, &kStaleCanary, sizeof(double));
    s.retired.push_back(std::move(s.data));
    s.data = std::move(moved);
  }
  ResultSlot& s = c.results[k];
  s.data.assign(static_cast<size_t>(rows) * cols + 1, 0.0);
  s.rows = rows;
  s.cols = cols;
  s.created = true;
  return s.data.data();
}

double* s_duwresp(int32_t k) {
  CallContext& c = here();
  if (k < 1 || k > 3 || !c.results[k].created) return nullptr;
  return c.results[k].data.data();
}

void* s_duwalo2(void** p, int64_t bytes) {
  CallContext& c = here();
  *p = nullptr;
  if (bytes < 0 || request_fails(c)) return nullptr;
  const auto want = static_cast<size_t>(bytes > 0 ? bytes : 1);
  size_t capacity = want;
  void* block = c.space != nullptr ? c.space->take(want, &capacity) : std::malloc(want);
  if (block == nullptr) return nullptr;
  c.work[block] = WorkBlock{bytes, capacity};
  if (capacity >= WorkSpace::kSmallest) {
    c.large_in_use += capacity;
    c.large_peak = std::max(c.large_peak, c.large_in_use);
  }
  return *p = block;
}

void s_duwfre2(void** p) {
  CallContext& c = here();
  if (p == nullptr || *p == nullptr) return;
  auto it = c.work.find(*p);
  if (it == c.work.end()) {
    c.add_log(LogEntry::Severity::kError, "Internal error: the routine freed work space it did not own.");
    return;
  }
  free_work_block(c, it->first, it->second);
  c.work.erase(it);
  *p = nullptr;
}

int32_t s_dulmiss(DULSYM* a) {
  if (a == nullptr || a->type != 'n') return 0;
  const auto* d = static_cast<const double*>(a->addr);
  int64_t n = static_cast<int64_t>(a->rows) * a->cols;
  for (int64_t i = 0; i < n; ++i)
    if (is_missing(d[i])) return 1;
  return 0;
}

// ---- log ---------------------------------------------------------------------------------
LogEntry::Severity severity_of(int s) {
  return s == 1   ? LogEntry::Severity::kError
         : s == 2 ? LogEntry::Severity::kWarning
                  : LogEntry::Severity::kNote;
}

void s_xpslog(const char* fmt, ...) {
  int sev = 3;
  if (fmt[0] == '%' && fmt[1] >= '1' && fmt[1] <= '3' && fmt[2] == 'z') {
    sev = fmt[1] - '0';
    fmt += 3;
  }
  va_list ap;
  va_start(ap, fmt);
  std::string text = vformat(fmt, ap);
  va_end(ap);
  here().add_log(severity_of(sev), std::move(text));
}

int32_t s_xpsstr(char* buf, int32_t cap, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, static_cast<size_t>(cap > 0 ? cap : 0), fmt, ap);
  va_end(ap);
  return n;
}

void s_xpmlog(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  int sev = 3;
  std::string text = catalogue_format(set, number, ap, &sev);
  va_end(ap);
  here().add_log(severity_of(sev), std::move(text));
}

void s_xprrlog(void*, int32_t status) { here().add_log(LogEntry::Severity::kError, status_text(status)); }
// Engines ask this in their long loops (poll_host), so it is where an interrupt is noticed.
int32_t s_xpselec(void*, int32_t) {
  if (t_current != nullptr) here();
  return 0;
}
void s_xpoflsh(void*) { std::fflush(stdout); }

[[noreturn]] void s_xexit(int32_t code, int32_t detail) { throw ExitUnwind{code, detail}; }

void s_xebug(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = vformat(fmt, ap);
  va_end(ap);
  here().add_log(LogEntry::Severity::kError, "Internal report: " + text);
}

// ---- names, text, clock, memory, configuration -------------------------------------------
// Writes prefix and number, padded with blanks to the whole buffer (the module strips them).
void s_znamfix(
    int32_t, const char* prefix, int32_t plen, int64_t number, int32_t, char* buf, int32_t buflen) {
  if (buflen <= 0) return;
  char tmp[128];
  int n = std::snprintf(tmp, sizeof tmp, "%.*s%lld", plen, prefix, static_cast<long long>(number));
  n = std::min(n, buflen);
  std::memcpy(buf, tmp, static_cast<size_t>(n));
  std::memset(buf + n, ' ', static_cast<size_t>(buflen - n));
}

void s_wzstrup(char* t, int32_t n) {
  for (int32_t i = 0; i < n; ++i) t[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
}

int64_t s_ztime() { return static_cast<int64_t>(std::time(nullptr)); }
double s_zdattim() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Memory that lives as long as the module: kept reachable so leak checkers stay quiet.
std::mutex g_module_memory_mutex;
std::vector<std::unique_ptr<char[]>> g_module_memory;
void* s_xmalloc(int64_t bytes, uint64_t) {
  if (bytes < 0) return nullptr;
  std::lock_guard lock(g_module_memory_mutex);
  g_module_memory.push_back(std::make_unique<char[]>(static_cast<size_t>(bytes > 0 ? bytes : 1)));
  return g_module_memory.back().get();
}

struct MemPool {
  std::vector<std::unique_ptr<char[]>> blocks;
};
void* s_xmpoolc(int64_t) {
  auto* pool = new MemPool;
  here().pools.push_back(pool);
  return pool;
}
void* s_xmpalloc(void* pool, int64_t bytes) {
  if (pool == nullptr || bytes < 0) return nullptr;
  auto* p = static_cast<MemPool*>(pool);
  p->blocks.push_back(std::make_unique<char[]>(static_cast<size_t>(bytes > 0 ? bytes : 1)));
  return p->blocks.back().get();
}
void s_xmpoold(void* pool) {
  auto& pools = here().pools;
  auto it = std::find(pools.begin(), pools.end(), pool);
  if (it == pools.end()) return;
  pools.erase(it);
  delete static_cast<MemPool*>(pool);
}

int32_t s_xcfgint(const char* key, int64_t* value) {
  if (key == nullptr || std::strcmp(key, "host.cpucount") != 0) return 1;
  const char* env = std::getenv("ROBMAT_CPUCOUNT");
  long v = env ? std::strtol(env, nullptr, 10) : static_cast<long>(std::thread::hardware_concurrency());
  *value = v > 0 ? v : 1;
  return 0;
}

void s_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  if (!host_zsweep(x, k, n, df, work, tol)) {
    here().add_log(LogEntry::Severity::kError, "sweep: invalid k: " + std::to_string(k));
    throw ExitUnwind{9999, 0};
  }
}

// ---- objects and text handles ---------------------------------------------------------------
int32_t s_xobinit(void** cls, void*) {
  *cls = const_cast<ObjClass*>(root_class());
  return 0;
}

void s_wobrel(void* object) {
  if (object) static_cast<OutputObjectBase*>(object)->released = true;
}

TextHandle* new_text(int set, int number, std::string text) {
  auto h = std::make_unique<TextHandle>(TextHandle{set, number, std::move(text)});
  TextHandle* raw = h.get();
  here().texts.push_back(std::move(h));
  return raw;
}

// A message fetched without arguments must not read any: its text is taken literally.
void* s_rpxmsg(int32_t set, int32_t number) { return new_text(set, number, catalogue_text(set, number)); }

void* s_rpxmsgs(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  int sev = 3;
  std::string text = catalogue_format(set, number, ap, &sev);
  va_end(ap);
  return new_text(set, number, std::move(text));
}

void* s_rpxtxt(const char* text, int32_t length) {
  return new_text(-1, 0, text ? std::string(text, static_cast<size_t>(std::max(length, 0))) : std::string{});
}

void* s_rpxtxts(const char* fmt, int32_t length, ...) {
  std::string f(fmt, static_cast<size_t>(std::max(length, 0)));
  va_list ap;
  va_start(ap, length);
  std::string text = vformat(f.c_str(), ap);
  va_end(ap);
  return new_text(-1, 0, std::move(text));
}

const RzDulVector kDul{s_duwarg2, s_duwres, s_duwresp, s_duwalo2, s_duwfre2, s_dulmiss};
const RzLogVector kLog{s_xpslog, s_xpsstr, s_xpmlog, s_xprrlog, s_xpselec, s_xpoflsh, s_xexit, s_xebug};
const RzSysVector kSys{s_znamfix,
                       s_wzstrup,
                       s_ztime,
                       s_zdattim,
                       s_xmalloc,
                       s_xmpoolc,
                       s_xmpalloc,
                       s_xmpoold,
                       s_xcfgint,
                       s_zsweep};
int32_t s_wobmth(void* object, void* cls, int32_t method, int32_t nparm, WOB_PARM_BLK_STR* parms) {
  if (t_current != nullptr) here();  // the interrupt check
  return object_method(object, cls, method, nparm, parms);
}

const RzObjVector kObj{s_xobinit, s_wobmth, s_wobrel, s_rpxmsg, s_rpxmsgs, s_rpxtxt, s_rpxtxts};
const RzThrVector kThr{host_rzextload,
                       host_rzextunload,
                       host_wtevcreate,
                       host_wtevfree,
                       host_wtforev,
                       host_wtgwait,
                       host_wtpoll};

::RZGCB g_gcb{kGcbMagic, nullptr, {&kDul, &kLog, &kSys, &kObj, &kThr}};

}  // namespace

void free_work_block(CallContext& c, void* block, const WorkBlock& b) {
  if (b.capacity >= WorkSpace::kSmallest) c.large_in_use -= b.capacity;
  if (c.space != nullptr)
    c.space->give(block, b.capacity);
  else
    std::free(block);
}

void release_pools(CallContext& c) {
  for (void* pool : c.pools) delete static_cast<MemPool*>(pool);
  c.pools.clear();
}

CallContext* current_call() { return t_current; }
void set_current_call(CallContext* c) { t_current = c; }
::RZGCB* host_gcb() { return &g_gcb; }

CallContext::CallContext() = default;
CallContext::~CallContext() { release_pools(*this); }

void CallContext::add_log(LogEntry::Severity s, std::string text) {
  // A log line is a sentence: the blanks that pad fixed-width fields of a format (a keyword
  // of 8 characters) are not part of it.
  std::string tidy;
  for (char c : text) {
    if (c == ' ' && (tidy.empty() || tidy.back() == ' ')) continue;
    tidy += c;
  }
  while (!tidy.empty() && tidy.back() == ' ') tidy.pop_back();
  LogEntry e{s, std::move(tidy)};
  if (log_handler) log_handler(e);
  log.push_back(std::move(e));
}

}  // namespace robmat::host
