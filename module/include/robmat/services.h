// The module's side of the host services: thin inline wrappers that call through the
// service vectors of the global control block stored by mcn_main. Nothing here links to
// the host; a test program may install its own control block (tests/support/fake_host.h).
#pragma once

#include <cstdint>
#include <cstring>

#include "robmat/host_services.h"

extern "C" {
extern RZGCB* v_global_gcb_anchor;
extern void* v_global_pidb_anchor;
extern void* Exported_RZHandle;
}

namespace robmat {

inline const RzDulVector& dul() {
  return *static_cast<const RzDulVector*>(v_global_gcb_anchor->vec[kVecDul]);
}
inline const RzLogVector& lg() { return *static_cast<const RzLogVector*>(v_global_gcb_anchor->vec[kVecLog]); }
inline const RzSysVector& sys() {
  return *static_cast<const RzSysVector*>(v_global_gcb_anchor->vec[kVecSys]);
}
inline const RzObjVector& obj() {
  return *static_cast<const RzObjVector*>(v_global_gcb_anchor->vec[kVecObj]);
}
inline const RzThrVector& thr() {
  return *static_cast<const RzThrVector*>(v_global_gcb_anchor->vec[kVecThr]);
}

// Missing values: any double whose top 16 bits are all ones.
inline bool wzmis(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return static_cast<int16_t>(bits >> 48) == -1;
}
inline double missing_value() {
  double v;
  std::memcpy(&v, &kMissingBits, sizeof v);
  return v;
}

inline int32_t duwarg2(DULSYM* a, int32_t* r, int32_t* c, int64_t* l, void** p) {
  return dul().duwarg2(a, r, c, l, p);
}
inline void* duwres(int32_t k, int32_t rows, int32_t cols) { return dul().duwres(k, rows, cols); }
inline double* duwresp(int32_t k) { return dul().duwresp(k); }
inline void* duwalo2(void** p, int64_t bytes) { return dul().duwalo2(p, bytes); }
inline void duwfre2(void** p) { dul().duwfre2(p); }
inline int32_t dulmiss(DULSYM* a) { return dul().dulmiss(a); }

template <class... A>
void xpslog(const char* format, A... a) {
  lg().xpslog(format, a...);
}
template <class... A>
int32_t xpsstr(char* buffer, int32_t capacity, const char* format, A... a) {
  return lg().xpsstr(buffer, capacity, format, a...);
}
template <class... A>
void xpmlog(int32_t set, int32_t number, A... a) {
  lg().xpmlog(set, number, a...);
}
inline void xprrlog(void* reserved, int32_t status) { lg().xprrlog(reserved, status); }
inline int32_t xpselec(void* reserved, int32_t what) { return lg().xpselec(reserved, what); }
inline void xpoflsh(void* reserved) { lg().xpoflsh(reserved); }
// The service never returns (the host unwinds the call); the pointer cannot say so in every
// compiler's grammar, so the wrapper does.
[[noreturn]] inline void xexit(int32_t code, int32_t detail) {
  lg().xexit(code, detail);
  __builtin_trap();
}

// poll_host: a service call that asks the host nothing of consequence, so that it can notice
// an interrupt (Ctrl-C) during a long loop that otherwise calls no service; the host then
// unwinds the call from here. Changes no result. Engines call it once per trial start.
inline void poll_host() { (void)xpselec(nullptr, 100); }

// Codes of xexit: an engine cannot go on (work space short of what it needs, every subset
// singular); no memory for the function table; the worker pool cannot be used.
inline constexpr int32_t kExitInternal = 9999;
inline constexpr int32_t kExitNoMemory = 1016;
inline constexpr int32_t kExitPool = 1012;
// abort_run: ends the run as an internal failure; never returns.
[[noreturn]] inline void abort_run() { xexit(kExitInternal, 0); }
template <class... A>
void xebug(const char* format, A... a) {
  lg().xebug(format, a...);
}

inline void znamfix(int32_t mode,
                    const char* prefix,
                    int32_t plen,
                    int64_t number,
                    int32_t flags,
                    char* buffer,
                    int32_t buflen) {
  sys().znamfix(mode, prefix, plen, number, flags, buffer, buflen);
}
inline void wzstrup(char* text, int32_t length) { sys().wzstrup(text, length); }
inline int64_t ztime() { return sys().ztime(); }
inline double zdattim() { return sys().zdattim(); }
inline void* xmalloc(int64_t bytes, uint64_t flags) { return sys().xmalloc(bytes, flags); }
inline void* xmpoolc(int64_t bytes) { return sys().xmpoolc(bytes); }
inline void* xmpalloc(void* pool, int64_t bytes) { return sys().xmpalloc(pool, bytes); }
inline void xmpoold(void* pool) { sys().xmpoold(pool); }
inline int32_t xcfgint(const char* key, int64_t* value) { return sys().xcfgint(key, value); }
inline void zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  sys().zsweep(x, k, n, df, work, tol);
}

inline int32_t xobinit(void** cls, void* reserved) { return obj().xobinit(cls, reserved); }
inline int32_t wobmth(void* o, void* cls, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  return obj().wobmth(o, cls, method, n, p);
}
inline void wobrel(void* o) { obj().wobrel(o); }
inline void* rpxmsg(int32_t set, int32_t number) { return obj().rpxmsg(set, number); }
template <class... A>
void* rpxmsgs(int32_t set, int32_t number, A... a) {
  return obj().rpxmsgs(set, number, a...);
}
inline void* rpxtxt(const char* text, int32_t length) { return obj().rpxtxt(text, length); }
template <class... A>
void* rpxtxts(const char* format, int32_t length, A... a) {
  return obj().rpxtxts(format, length, a...);
}

}  // namespace robmat
