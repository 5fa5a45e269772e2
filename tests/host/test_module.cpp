// A module for host tests: the same exported records as robmat's, with routines that
// behave well and routines that break the host's rules on purpose (a leak, a write through
// a stale result address, an exit), so that each host check can be seen to fire.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "robmat/module_records.h"
#include "robmat/output_protocol.h"
#include "robmat/services.h"

extern "C" {
RZGCB* v_global_gcb_anchor = nullptr;
void* v_global_pidb_anchor = nullptr;
void* Exported_RZHandle = nullptr;
}

using namespace robmat;

namespace {

// ECHO(x [, text]): returns x; logs the text as a note when given.
int32_t echo(DULSYM** arg, int32_t* n) {
  int32_t r, c;
  int64_t len;
  void* p;
  duwarg2(arg[0], &r, &c, &len, &p);
  if (*n > 1 && arg[1] != nullptr) {
    int32_t r2, c2;
    int64_t l2;
    void* t;
    duwarg2(arg[1], &r2, &c2, &l2, &t);
    xpslog("%3zecho %.*s", static_cast<int>(l2), static_cast<const char*>(t));
  }
  if (duwres(1, r, c) == nullptr) return 1;
  std::memcpy(duwresp(1), p, sizeof(double) * static_cast<size_t>(r) * c);
  return 0;
}

// THREE(x): results 1..3 are x, 2x and 3x, addresses taken after all are created.
int32_t three(DULSYM** arg, int32_t*) {
  const double* x = static_cast<const double*>(arg[0]->addr);
  int32_t r = arg[0]->rows, c = arg[0]->cols;
  for (int k = 1; k <= 3; ++k)
    if (duwres(k, r, c) == nullptr) return 1;
  for (int k = 1; k <= 3; ++k) {
    double* d = duwresp(k);
    for (int i = 0; i < r * c; ++i) d[i] = k * x[i];
  }
  return 0;
}

// The block size asked for by LEAK and ALLOC: x(1) bytes, at least `least`.
int64_t block_bytes(DULSYM** arg, int64_t least) {
  const double v = static_cast<const double*>(arg[0]->addr)[0];
  return v > static_cast<double>(least) ? static_cast<int64_t>(v) : least;
}

// LEAK(x): keeps a block of work space (x(1) bytes, at least 64).
int32_t leak(DULSYM** arg, int32_t*) {
  void* p;
  duwalo2(&p, block_bytes(arg, 64));
  return 0;
}

// STALE(x): writes to result 1 through the address it had before result 2 was created.
int32_t stale(DULSYM**, int32_t*) {
  duwres(1, 1, 2);
  double* r1 = duwresp(1);
  duwres(2, 1, 1);
  r1[0] = 42.0;
  return 0;
}

// BYE(x): takes work space, logs an error, and ends the run.
int32_t bye(DULSYM**, int32_t*) {
  void* p;
  duwalo2(&p, 128);
  xpslog("%1zbye is leaving with %i", 9999);
  xexit(9999, 0);
}

// ALLOC(x): three blocks (x(1) bytes each, at least 256) and a result, freeing what it holds
// at the first refusal. The result is 7 when no block overlaps another (each still holds what
// was written into it).
int32_t alloc(DULSYM** arg, int32_t*) {
  void* b[3] = {nullptr, nullptr, nullptr};
  const int64_t bytes = block_bytes(arg, 256);
  int32_t rc = 0;
  for (auto& blk : b)
    if (duwalo2(&blk, bytes) == nullptr) rc = 1;
  for (int k = 0; k < 3 && rc == 0; ++k) std::memset(b[k], k + 1, static_cast<size_t>(bytes));
  for (int k = 0; k < 3 && rc == 0; ++k)
    for (const int64_t at : {int64_t{0}, bytes - 1})
      if (static_cast<unsigned char*>(b[k])[at] != k + 1) rc = 2;
  if (rc == 0 && duwres(1, 1, 1) == nullptr) rc = 1;
  if (rc == 0) duwresp(1)[0] = 7.0;
  for (auto& blk : b)
    if (blk) duwfre2(&blk);
  return rc;
}

// SPIN(x): works for x(1) seconds, asking for a small block of work space at every step and
// holding one block throughout, as a long computation that an interrupt must unwind; returns
// the number of steps.
int32_t spin(DULSYM** arg, int32_t*) {
  const double seconds = static_cast<const double*>(arg[0]->addr)[0];
  void* held = nullptr;
  if (duwalo2(&held, 1024) == nullptr) return 1;
  const double start = zdattim();
  double steps = 0;
  while (zdattim() - start < seconds) {
    void* p = nullptr;
    if (duwalo2(&p, 16) == nullptr) break;
    duwfre2(&p);
    ++steps;
  }
  duwfre2(&held);
  if (duwres(1, 1, 1) == nullptr) return 1;
  duwresp(1)[0] = steps;
  return 0;
}

// GIVEUP(x): what a failing engine leaves: three results of missing values, an error in the
// log, and status 0.
int32_t giveup(DULSYM**, int32_t*) {
  for (int k = 1; k <= 3; ++k)
    if (duwres(k, 1, 2) == nullptr) return 1;
  for (int k = 1; k <= 3; ++k) duwresp(k)[0] = duwresp(k)[1] = missing_value();
  xpslog("%1zThe engine gave up.");
  return 0;
}

WOB_PARM_BLK_STR arr(int16_t tag, const char* s) {
  WOB_PARM_BLK_STR p{};
  p.tag = tag;
  p.type = robmat::kWobChars;
  WOB_ARRAY_PARM_STR a{static_cast<int64_t>(std::strlen(s)), static_cast<int64_t>(std::strlen(s)), s};
  std::memcpy(p.value.raw, &a, sizeof a);
  return p;
}
WOB_PARM_BLK_STR obj(int16_t tag, void* o) {
  WOB_PARM_BLK_STR p{};
  p.tag = tag;
  p.type = robmat::kWobObject;
  p.value.p = o;
  return p;
}

// MGR(x): creates the output manager as the call routines do, writes a note, and releases it.
int32_t mgr(DULSYM**, int32_t*) {
  void* root = nullptr;
  xobinit(&root, nullptr);
  WOB_PARM_BLK_STR p[4] = {arr(robmat::kTagClassName, "rpx"),
                           arr(robmat::kTagInstance, "manager"),
                           obj(robmat::kTagNewObject, nullptr),
                           {}};
  p[3].tag = robmat::kTagMessageSet;
  p[3].type = robmat::kWobInt;
  p[3].value.i = 549;
  int32_t rc = wobmth(nullptr, root, robmat::kSelCreate, 4, p);
  if (rc < 0) xexit(rc, 0);
  void* rpx = p[2].value.p;
  if (rpx == nullptr) {
    xprrlog(nullptr, rc);
    return 100;
  }
  WOB_PARM_BLK_STR t[2] = {};
  t[0].tag = robmat::kTagText;
  t[0].type = robmat::kWobText;
  t[0].value.p = rpxtxt("hello", 5);
  t[1].tag = robmat::kTagJustify;
  t[1].type = robmat::kWobChar;
  t[1].value.c = 'c';
  wobmth(rpx, nullptr, robmat::kSelTextLine, 2, t);
  WOB_PARM_BLK_STR close{};
  close.tag = robmat::kTagCloseMode;
  close.type = robmat::kWobCloseMode;
  if (wobmth(rpx, nullptr, robmat::kSelClose, 1, &close) < 0) xprrlog(nullptr, -1);
  wobrel(rpx);
  if (duwres(1, 1, 1) == nullptr) return 1;
  duwresp(1)[0] = 1.0;
  return 0;
}

constexpr int64_t kN = kFargNumeric, kC = kFargCharacter;
FNCITEM g_items[] = {
    {"ECHO*", {0, 0, 1, 2, 'T', 0, kN | (kC << 3)}},
    {"THREE", {0, 0, 1, 1, 'T', 1, kN}},
    {"LEAK", {0, 0, 1, 1, 'T', 1, kN}},
    {"STALE", {0, 0, 1, 1, 'T', 1, kN}},
    {"BYE", {0, 0, 1, 1, 'T', 1, kN}},
    {"ALLOC", {0, 0, 1, 1, 'T', 0, kN}},
    {"MGR", {0, 0, 1, 1, 'T', 0, kN}},
    {"SPIN", {0, 0, 1, 1, 'T', 0, kN}},
    {"GIVEUP", {0, 0, 1, 1, 'T', 1, kN}},
};
constexpr int kCount = sizeof g_items / sizeof g_items[0];
RobmatFrontEnd g_entries[kCount + 1] = {nullptr, echo, three, leak, stale, bye, alloc, mgr, spin, giveup};

}  // namespace

extern "C" {
void* vorilmts(int64_t request);
WIPGMCON pcn_VORILMTS = {
    -65536, 1024, 1024, {'v', 'o', 'r', 'i', 'l', 'm', 't', 's'}, 0, vorilmts, 1, 9683, 1, 15};
WIPGMCON* mcn_pcns[2] = {&pcn_VORILMTS, nullptr};
#ifdef ROBMAT_TEST_BAD_MAGIC
VIMODCON vi_mcn = {"test", 0xDEADBEEF, 8, "0.00", "test", "Jan 01 2026", mcn_pcns, "test", "000"};
#else
VIMODCON vi_mcn = {"test", kModconMagic, 8, "0.00", "test", "Jan 01 2026", mcn_pcns, "test", "000"};
#endif

VIMODCON* mcn_main(RZGCB* gcb, void* pidb) {
  v_global_gcb_anchor = gcb;
  v_global_pidb_anchor = pidb;
  return &vi_mcn;
}

void* vorilmts(int64_t request) {
  static FNCUSR usr{kCount, g_items};
  if (request == 1) return &usr;
  if (request == 2) return g_entries;
  return nullptr;
}
}
