// The recording host for module tests; see recording_host.h.
#include "support/recording_host.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>

#include "robmat/output_protocol.h"
#include "robmat/services.h"
#include "services/sweep_step.h"
#include "services/thread_pool.h"

namespace robmat::testing {
namespace {

struct CatalogueLine {
  int set;
  int number;
  const char* format;
};
const CatalogueLine kCatalogue[] = {
#include "../../host/catalogue/messages_flts.inc"
#include "../../host/catalogue/messages_host.inc"
#include "../../host/catalogue/messages_mcd.inc"
#include "../../host/catalogue/messages_mve.inc"
#include "../../host/catalogue/messages_options_reports.inc"
#include "../../host/catalogue/messages_regression.inc"
};

struct Column {
  int type = 0;
  const void* var = nullptr;
  int clen = 0;
};

Recording g_rec;
// The real host acts on the call running on the calling thread: a service that reaches the
// call (log, texts, output objects, memory pools, configuration) has none on another thread.
std::thread::id g_call_thread;
std::atomic<int> g_foreign_calls{0};
void on_call_thread() {
  if (std::this_thread::get_id() != g_call_thread) ++g_foreign_calls;
}
std::deque<std::string> g_texts;                       // text handles point into these
std::deque<int> g_objects;                             // table and output handles
std::map<const void*, std::vector<Column>> g_columns;  // bound columns by table

void* keep(std::string s) {
  g_texts.push_back(std::move(s));
  return &g_texts.back();
}

// The format of a message without its "%Nz" prefix, or null (recorded as unknown).
const char* format_of(int set, int number) {
  const auto extra = g_rec.formats.find(set * 10000 + number);
  if (extra != g_rec.formats.end()) return extra->second.c_str();
  for (const CatalogueLine& e : kCatalogue)
    if (e.set == set && e.number == number)
      return e.format[0] == '%' && e.format[2] == 'z' ? e.format + 3 : e.format;
  g_rec.unknown.push_back(set * 10000 + number);
  return nullptr;
}

std::string vformat(const char* f, va_list ap) {
  char buf[1024];
  std::vsnprintf(buf, sizeof buf, f, ap);
  return buf;
}

std::string message(int set, int number, va_list ap) {
  const char* f = format_of(set, number);
  return f ? vformat(f, ap) : "msg " + std::to_string(set) + "/" + std::to_string(number);
}

void r_xpmlog(int32_t set, int32_t number, ...) {
  on_call_thread();
  va_list ap;
  va_start(ap, number);
  g_rec.host->log.push_back(std::to_string(set) + "/" + std::to_string(number) + ": " +
                            message(set, number, ap));
  va_end(ap);
}
void r_xpslog(const char* fmt, ...) {  // formats start with a "%Nz" level
  on_call_thread();
  va_list ap;
  va_start(ap, fmt);
  g_rec.host->log.push_back(vformat(fmt + 3, ap));
  va_end(ap);
}
void* r_rpxmsgs(int32_t set, int32_t number, ...) {
  on_call_thread();
  va_list ap;
  va_start(ap, number);
  void* t = keep(message(set, number, ap));
  va_end(ap);
  return t;
}
void* r_rpxmsg(int32_t set, int32_t number) {  // the text unformatted
  on_call_thread();
  const char* f = format_of(set, number);
  return keep(f ? f : "msg " + std::to_string(set) + "/" + std::to_string(number));
}
void* r_rpxtxt(const char* t, int32_t len) {
  on_call_thread();
  return keep(std::string(t, static_cast<size_t>(len)));
}
void* r_rpxtxts(const char* fmt, int32_t len, ...) {
  on_call_thread();
  va_list ap;
  va_start(ap, len);
  void* t = keep(vformat(std::string(fmt, static_cast<size_t>(len)).c_str(), ap));
  va_end(ap);
  return t;
}

std::string render(const Column& c) {
  if (c.var == nullptr) return "";
  if (c.type == kColInt) return std::to_string(*static_cast<const int32_t*>(c.var));
  if (c.type == kColLong) return std::to_string(*static_cast<const long*>(c.var));
  if (c.type != kColDouble) {
    std::string s(static_cast<const char*>(c.var), static_cast<size_t>(c.clen));
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  const double v = *static_cast<const double*>(c.var);
  if (wzmis(v)) return ".";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

double number_of(const Column& c) {
  if (c.type == kColInt) return *static_cast<const int32_t*>(c.var);
  if (c.type == kColLong) return static_cast<double>(*static_cast<const long*>(c.var));
  return c.type == kColDouble ? *static_cast<const double*>(c.var) : NAN;
}

std::string joined_names(const void* p, long count) {
  std::string s;
  for (const U_SNAME* n = static_cast<const U_SNAME*>(p); count-- > 0; ++n)
    s += (s.empty() ? "" : ",") + std::string(n->name, static_cast<size_t>(n->len));
  return s;
}

WobRecord decode(const WOB_PARM_BLK_STR& b) {
  WobRecord r{b.tag, b.type, "", 0, b.value.p};
  if (b.type == kWobChar) r.text = std::string(1, b.value.c);
  if (b.type == kWobInt) r.i = b.value.i;
  if (b.type == kWobChars) {
    WOB_ARRAY_PARM_STR a;
    std::memcpy(&a, b.value.raw, sizeof a);
    r.text.assign(a.ptr, static_cast<size_t>(a.len));
  }
  if (b.type == kWobText) r.text = b.value.p ? *static_cast<const std::string*>(b.value.p) : "(null)";
  return r;
}

const WobRecord* tagged(const WobCall& c, int tag) {
  for (const WobRecord& r : c.recs)
    if (r.tag == tag) return &r;
  return nullptr;
}

// A matrix as sent: the values (rows x columns, or a packed triangle for "sb" and "db") and
// the names.
void read_matrix(WobCall& c) {
  const long rows = tagged(c, kTagRows)->i, cols = tagged(c, kTagCols)->i;
  const long count = tagged(c, kTagShape)->text == "rb" ? rows * cols : rows * (rows + 1) / 2;
  const double* v = static_cast<const double*>(tagged(c, kTagValues)->p);
  if (v != nullptr) c.values.assign(v, v + count);
  const WobRecord* rn = tagged(c, kTagRowNames);
  const WobRecord* cn = tagged(c, kTagColumnNames);
  const WobRecord* fixed = tagged(c, kTagFixedNames);
  if (rn && rn->p) c.rownames.push_back(joined_names(rn->p, rows));
  if (cn && cn->p) c.colnames.push_back(joined_names(cn->p, cols));
  if (fixed && fixed->p)
    c.colnames.emplace_back(static_cast<const char*>(fixed->p),
                            static_cast<size_t>(cols * tagged(c, kTagNameWidth)->i));
}

// The root class of the output objects, so that a front end can create its output manager.
int g_root_class = 0;
int32_t r_xobinit(void** cls, void*) {
  *cls = &g_root_class;
  return 0;
}
void r_wobrel(void*) {}

int32_t r_wobmth(void* object, void* cls, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  on_call_thread();
  // New tables and bound outputs get their handles first, so the records show them.
  const bool fails = method == g_rec.fail_method;
  const bool creates_table = method == kSelCreate && object != nullptr;
  if (!fails && method == kSelCreate && object == nullptr && cls == &g_root_class && n >= 3)
    p[2].value.p = &g_rec.rpx;  // the output manager
  if (!fails && (creates_table || method == kSelBind)) {
    g_objects.push_back(0);
    (creates_table ? g_rec.table : g_rec.output) = p[creates_table ? 2 : 1].value.p = &g_objects.back();
  }
  WobCall call{method, object, {}, std::to_string(method) + ":", {}, {}, {}};
  for (int32_t i = 0; i < n; ++i) {
    const WobRecord r = decode(p[i]);
    const std::string value = r.type == kWobInt ? std::to_string(r.i) : r.text;
    call.parms +=
        " " + std::to_string(r.tag) + ":" + std::to_string(r.type) + (value.empty() ? "" : "=" + value);
    call.recs.push_back(r);
  }
  if (method == kSelTextLine) g_rec.lines.push_back(tagged(call, kTagText)->text);
  if (method == kSelPrintMatrix) read_matrix(call);
  g_rec.calls.push_back(call);
  if (fails) return -5;
  const WobRecord* name = tagged(call, kTagName);
  if (creates_table || method == kSelPrintMatrix) g_rec.outputs.push_back(name ? name->text : "");
  if (method == kSelPrintMatrix && name && name->text == "ObsLieSubData")
    g_rec.on_plane.insert(g_rec.on_plane.end(), call.values.begin(), call.values.end());
  if (method == kSelDefineColumn) {
    const WobRecord* len = tagged(call, kTagCharLength);
    g_columns[object].push_back(Column{static_cast<int>(tagged(call, kTagColumnType)->i),
                                       tagged(call, kTagBound)->p,
                                       len ? static_cast<int>(len->i) : 0});
  }
  if (method == kSelAppend) {
    std::vector<std::string>& row = g_rec.rows.emplace_back();
    std::vector<double>& cells = g_rec.table_rows[object].emplace_back();
    for (const Column& c : g_columns[object]) {
      row.push_back(render(c));
      cells.push_back(number_of(c));
    }
  }
  return 0;
}

void r_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  on_call_thread();
  if (!host::host_zsweep(x, k, n, df, work, tol)) {
    xpslog("%1z sweep: invalid k: %i", k);
    xexit(9999, 0);
  }
}
int32_t r_xcfgint(const char* key, int64_t* value) {
  on_call_thread();
  if (std::string(key) != "host.cpucount") return 1;
  *value = g_rec.cpucount;
  return 0;
}
void* r_xmpoolc(int64_t) {
  on_call_thread();
  auto* key = new char;
  g_rec.pools[key];
  return key;
}
void* r_xmpalloc(void* pool, int64_t bytes) {
  on_call_thread();
  auto& blocks = g_rec.pools.at(pool);
  blocks.push_back(std::make_unique<char[]>(static_cast<size_t>(bytes)));
  return blocks.back().get();
}
void r_xmpoold(void* pool) {
  on_call_thread();
  g_rec.pools.erase(pool);
  delete static_cast<char*>(pool);
}
Puddle* refuse_pool(const TPDLCreateParms*) { return nullptr; }
const RzThreadExtension kRefusing{refuse_pool};
void* r_rzextload(const char* name) {
  ++g_rec.extloads;
  if (g_rec.ext_missing) return nullptr;
  if (g_rec.pool_refused) return const_cast<RzThreadExtension*>(&kRefusing);
  return host::host_rzextload(name);
}

template <class V>
V& vector_of(int k) {
  return *const_cast<V*>(static_cast<const V*>(v_global_gcb_anchor->vec[k]));
}

}  // namespace

int Recording::foreign_calls() const { return g_foreign_calls; }

bool Recording::logged(const std::string& prefix) const {
  return std::any_of(host->log.begin(), host->log.end(), [&](const std::string& s) {
    return s.compare(0, prefix.size(), prefix) == 0;
  });
}

Recording& install_recording_host() {
  FakeHost& host = install_fake_host();
  auto& lg = vector_of<RzLogVector>(kVecLog);
  lg.xpmlog = r_xpmlog;
  lg.xpslog = r_xpslog;
  auto& sys = vector_of<RzSysVector>(kVecSys);
  sys.zsweep = r_zsweep;
  sys.xcfgint = r_xcfgint;
  sys.xmpoolc = r_xmpoolc;
  sys.xmpalloc = r_xmpalloc;
  sys.xmpoold = r_xmpoold;
  auto& o = vector_of<RzObjVector>(kVecObj);
  o.xobinit = r_xobinit;
  o.wobrel = r_wobrel;
  o.wobmth = r_wobmth;
  o.rpxmsg = r_rpxmsg;
  o.rpxmsgs = r_rpxmsgs;
  o.rpxtxt = r_rpxtxt;
  o.rpxtxts = r_rpxtxts;
  vector_of<RzThrVector>(kVecThr) = RzThrVector{r_rzextload,
                                                host::host_rzextunload,
                                                host::host_wtevcreate,
                                                host::host_wtevfree,
                                                host::host_wtforev,
                                                host::host_wtgwait,
                                                host::host_wtpoll};
  for (auto& [pool, blocks] : g_rec.pools) delete static_cast<char*>(pool);
  g_rec = Recording{};
  g_rec.host = &host;
  g_call_thread = std::this_thread::get_id();
  g_foreign_calls = 0;
  g_texts.clear();
  g_objects.clear();
  g_columns.clear();
  return g_rec;
}

}  // namespace robmat::testing
