// The recording host for module tests; see recording_host.h.
#include "support/recording_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>

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
#include "../../host/catalogue/messages_mcd.inc"
#include "../../host/catalogue/messages_options_reports.inc"
};

struct Column {
  int type = 0;
  const void* var = nullptr;
  int clen = 0;
};

Recording g_rec;
std::deque<std::string> g_texts;  // text handles point into these
std::deque<int> g_objects;        // table and output handles
std::vector<Column> g_columns;    // of the table being filled

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
  va_list ap;
  va_start(ap, number);
  g_rec.host->log.push_back(std::to_string(set) + "/" + std::to_string(number) + ": " +
                            message(set, number, ap));
  va_end(ap);
}
void r_xpslog(const char* fmt, ...) {  // formats start with a "%Nz" level
  va_list ap;
  va_start(ap, fmt);
  g_rec.host->log.push_back(vformat(fmt + 3, ap));
  va_end(ap);
}
void* r_rpxmsgs(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  void* t = keep(message(set, number, ap));
  va_end(ap);
  return t;
}
void* r_rpxmsg(int32_t set, int32_t number) {  // the text unformatted
  const char* f = format_of(set, number);
  return keep(f ? f : "msg " + std::to_string(set) + "/" + std::to_string(number));
}
void* r_rpxtxt(const char* t, int32_t len) { return keep(std::string(t, static_cast<size_t>(len))); }
void* r_rpxtxts(const char* fmt, int32_t len, ...) {
  va_list ap;
  va_start(ap, len);
  void* t = keep(vformat(std::string(fmt, static_cast<size_t>(len)).c_str(), ap));
  va_end(ap);
  return t;
}

std::string render(const Column& c) {
  if (c.var == nullptr) return "";
  if (c.type == 3) return std::to_string(*static_cast<const int32_t*>(c.var));
  if (c.type == 4) return std::to_string(*static_cast<const long*>(c.var));
  if (c.type != 5) {
    std::string s(static_cast<const char*>(c.var), static_cast<size_t>(c.clen));
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  const double v = *static_cast<const double*>(c.var);
  if (wzmis(v)) return ".";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

int32_t r_wobmth(void* object, void*, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  WobCall call{method, object, std::to_string(method) + ":"};
  std::string name;  // of a table or matrix
  Column col;
  const double* values = nullptr;
  int cols = 0;
  for (int32_t i = 0; i < n; ++i) {
    std::string value;
    if (p[i].type == 1) value = std::string(1, p[i].value.c);
    if (p[i].type == 3) value = std::to_string(p[i].value.i);
    if (p[i].type == 20) {
      WOB_ARRAY_PARM_STR a;
      std::memcpy(&a, p[i].value.raw, sizeof a);
      value.assign(a.ptr, static_cast<size_t>(a.len));
    }
    if (p[i].type == 66) value = p[i].value.p ? *static_cast<std::string*>(p[i].value.p) : "(null)";
    call.parms +=
        " " + std::to_string(p[i].tag) + ":" + std::to_string(p[i].type) + (value.empty() ? "" : "=" + value);
    if (p[i].type == 66 && p[i].tag == 138) name = value;
    if (p[i].type == 66 && p[i].tag == 577 && method == 358) g_rec.lines.push_back(value);
    if (p[i].tag == 103) col.type = p[i].value.i;
    if (p[i].tag == 285) col.var = p[i].value.p;
    if (p[i].tag == 289) col.clen = p[i].value.i;
    if (p[i].tag == 389) values = static_cast<const double*>(p[i].value.p);
    if (p[i].tag == 391) cols = p[i].value.i;
  }
  g_rec.calls.push_back(call);
  if (method == g_rec.fail_method) return -5;
  if (method == 147 || method == 422) {
    g_objects.push_back(0);
    (method == 147 ? g_rec.table : g_rec.output) = p[method == 147 ? 2 : 1].value.p = &g_objects.back();
  }
  if (method == 147) g_columns.clear();
  if (method == 147 || method == 388) g_rec.outputs.push_back(name);
  if (method == 388 && name == "ObsLieSubData")
    g_rec.on_plane.insert(g_rec.on_plane.end(), values, values + cols);
  if (method == 338) g_columns.push_back(col);
  if (method == 329) {
    g_rec.rows.emplace_back();
    for (const Column& c : g_columns) g_rec.rows.back().push_back(render(c));
  }
  return 0;
}

void r_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  if (!host::host_zsweep(x, k, n, df, work, tol)) {
    xpslog("%1z sweep: invalid k: %i", k);
    xexit(9999, 0);
  }
}
int32_t r_xcfgint(const char* key, int64_t* value) {
  if (std::string(key) != "host.cpucount") return 1;
  *value = g_rec.cpucount;
  return 0;
}
void* r_xmpoolc(int64_t) {
  auto* key = new char;
  g_rec.pools[key];
  return key;
}
void* r_xmpalloc(void* pool, int64_t bytes) {
  auto& blocks = g_rec.pools.at(pool);
  blocks.push_back(std::make_unique<char[]>(static_cast<size_t>(bytes)));
  return blocks.back().get();
}
void r_xmpoold(void* pool) {
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
  g_texts.clear();
  g_objects.clear();
  g_columns.clear();
  return g_rec;
}

}  // namespace robmat::testing
