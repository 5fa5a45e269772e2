// Fake host services for module-level tests; see fake_host.h.
#include "support/fake_host.h"

#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "robmat/services.h"

namespace robmat::testing {
namespace {

FakeHost g_host;

std::string vformat(const char* fmt, va_list ap) {
  char buf[4096];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  return buf;
}

void f_xpslog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  g_host.log.push_back(vformat(fmt, ap));
  va_end(ap);
}
int32_t f_xpsstr(char* b, int32_t cap, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(b, static_cast<size_t>(cap), fmt, ap);
  va_end(ap);
  return n;
}
void f_xpmlog(int32_t set, int32_t number, ...) {
  g_host.log.push_back(std::to_string(set) + "/" + std::to_string(number));
}
void f_xprrlog(void*, int32_t status) { g_host.log.push_back("status " + std::to_string(status)); }
int32_t f_xpselec(void*, int32_t what) { return what; }
void f_xpoflsh(void*) {}
[[noreturn]] void f_xexit(int32_t code, int32_t) {
  g_host.exit_code = code;
  throw FakeExit{code};
}
void f_xebug(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  g_host.log.push_back("debug: " + vformat(fmt, ap));
  va_end(ap);
}

void f_znamfix(
    int32_t, const char* prefix, int32_t plen, int64_t number, int32_t, char* buf, int32_t buflen) {
  std::snprintf(buf, static_cast<size_t>(buflen), "%.*s%lld", plen, prefix, static_cast<long long>(number));
}
void f_wzstrup(char* t, int32_t n) {
  for (int32_t i = 0; i < n; ++i) t[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
}
int64_t f_ztime() { return std::chrono::system_clock::now().time_since_epoch().count(); }
double f_zdattim() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
void* f_xmalloc(int64_t bytes, uint64_t) { return std::malloc(static_cast<size_t>(bytes)); }

int32_t f_duwarg2(DULSYM* a, int32_t* rows, int32_t* cols, int64_t* elen, void** addr) {
  *rows = a->rows;
  *cols = a->cols;
  *elen = a->elen;
  *addr = a->addr;
  return 0;
}
int32_t f_dulmiss(DULSYM* a) {
  const double* x = static_cast<const double*>(a->addr);
  for (long i = 0; a->type == 'n' && i < static_cast<long>(a->rows) * a->cols; ++i)
    if (wzmis(x[i])) return 1;
  return 0;
}
void* f_duwalo2(void** p, int64_t bytes) {
  *p = bytes < 0 ? nullptr : std::malloc(static_cast<size_t>(bytes > 0 ? bytes : 1));
  if (*p != nullptr) ++g_host.live_blocks;
  return *p;
}
void f_duwfre2(void** p) {
  if (*p != nullptr) --g_host.live_blocks;
  std::free(*p);
  *p = nullptr;
}
void* f_duwres(int32_t k, int32_t rows, int32_t cols) {
  if (k < 1 || k > 3 || rows < 0 || cols < 0) return nullptr;
  g_host.results[k].assign(static_cast<size_t>(rows) * static_cast<size_t>(cols) + 1, 0.0);
  g_host.result_rows[k] = rows;
  g_host.result_cols[k] = cols;
  return g_host.results[k].data();
}
double* f_duwresp(int32_t k) {
  return k >= 1 && k <= 3 && !g_host.results[k].empty() ? g_host.results[k].data() : nullptr;
}

RzDulVector g_dul{};
RzLogVector g_log{f_xpslog, f_xpsstr, f_xpmlog, f_xprrlog, f_xpselec, f_xpoflsh, f_xexit, f_xebug};
RzSysVector g_sys{};
RzObjVector g_obj{};
RzThrVector g_thr{};
RZGCB g_gcb{};

}  // namespace

FakeHost& install_fake_host() {
  g_dul.duwarg2 = f_duwarg2;
  g_dul.dulmiss = f_dulmiss;
  g_dul.duwalo2 = f_duwalo2;
  g_dul.duwfre2 = f_duwfre2;
  g_dul.duwres = f_duwres;
  g_dul.duwresp = f_duwresp;
  g_sys.znamfix = f_znamfix;
  g_sys.wzstrup = f_wzstrup;
  g_sys.ztime = f_ztime;
  g_sys.zdattim = f_zdattim;
  g_sys.xmalloc = f_xmalloc;
  g_gcb.magic = kGcbMagic;
  g_gcb.vec[kVecDul] = &g_dul;
  g_gcb.vec[kVecLog] = &g_log;
  g_gcb.vec[kVecSys] = &g_sys;
  g_gcb.vec[kVecObj] = &g_obj;
  g_gcb.vec[kVecThr] = &g_thr;
  v_global_gcb_anchor = &g_gcb;
  g_host.log.clear();
  g_host.exit_code = 0;
  g_host.live_blocks = 0;
  for (int k = 0; k < 4; ++k) {
    g_host.results[k].clear();
    g_host.result_rows[k] = g_host.result_cols[k] = 0;
  }
  return g_host;
}

}  // namespace robmat::testing
