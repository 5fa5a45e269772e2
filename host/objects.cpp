// Output objects: the manager "rpx" turns the module's method calls into text lines,
// matrices and row tables for the call's sink. Parameters arrive as tagged records; each
// method reads the tags it knows and ignores the rest, so optional records may be absent.
#include "objects.h"

#include <cstring>
#include <memory>

#include "call_context.h"
#include "robmat/output_protocol.h"

namespace robmat::host {

ObjClass make_class(const char* name,
                    const ObjClass* super,
                    uint32_t mask,
                    std::initializer_list<std::pair<int32_t, MethodFn>> methods) {
  ObjClass c{name, super, mask, std::vector<const MethodEntry*>(mask + 1, nullptr), {}};
  c.storage.reserve(methods.size());
  for (auto [id, fn] : methods) c.storage.push_back(MethodEntry{id, fn, nullptr});
  for (auto& e : c.storage) {
    const MethodEntry** slot = &c.buckets[static_cast<uint32_t>(e.id) & mask];
    e.next = *slot;
    *slot = &e;
  }
  return c;
}

const MethodFn* find_method(const ObjClass* cls, int32_t id) {
  for (; cls != nullptr; cls = cls->super) {
    for (const MethodEntry* e = cls->buckets[static_cast<uint32_t>(id) & cls->mask]; e; e = e->next)
      if (e->id == id) return &e->fn;
  }
  return nullptr;
}

namespace {

// ---- parameter access ------------------------------------------------------------------
WOB_PARM_BLK_STR* find_tag(int32_t n, WOB_PARM_BLK_STR* p, int tag, int skip = 0) {
  for (int32_t i = 0; i < n; ++i)
    if (p[i].tag == tag && skip-- == 0) return &p[i];
  return nullptr;
}

std::string text_of(const WOB_PARM_BLK_STR* p) {
  if (p == nullptr) return {};
  if (p->type == kWobText) {
    auto* t = static_cast<const TextHandle*>(p->value.p);
    return t ? t->text : std::string{};
  }
  if (p->type == kWobChars) {
    WOB_ARRAY_PARM_STR a;
    std::memcpy(&a, p->value.raw, sizeof a);
    return a.ptr ? std::string(a.ptr, static_cast<size_t>(a.len)) : std::string{};
  }
  if (p->type == kWobChar) return std::string(1, p->value.c);
  return {};
}

const TextHandle* handle_of(const WOB_PARM_BLK_STR* p) {
  return p && p->type == kWobText ? static_cast<const TextHandle*>(p->value.p) : nullptr;
}

int int_of(WOB_PARM_BLK_STR* p, int fallback) { return p && p->type == kWobInt ? p->value.i : fallback; }

std::string sname(const U_SNAME& s) {
  int len = s.len < 0 ? 0 : (s.len > 32 ? 32 : s.len);
  return std::string(s.name, static_cast<size_t>(len));
}

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string{} : s.substr(b);
}

// ---- objects ---------------------------------------------------------------------------
struct Column {
  TableColumn info;
  const void* bound = nullptr;
  int charlen = 0;
};

struct RowTable : OutputObjectBase {
  using OutputObjectBase::OutputObjectBase;
  TableOutput out;
  std::vector<Column> cols;
  bool defined = false;
  bool finished = false;
};

struct BoundOutput : OutputObjectBase {
  using OutputObjectBase::OutputObjectBase;
  RowTable* table = nullptr;
  std::string template_name;
};

struct Manager : OutputObjectBase {
  using OutputObjectBase::OutputObjectBase;
  std::string instance;
};

CallContext& ctx() { return *current_call(); }

template <class T>
T* adopt(std::unique_ptr<T> o) {
  T* raw = o.get();
  ctx().objects.push_back(std::move(o));
  return raw;
}

void emit(OutputObject obj) {
  if (ctx().sink) ctx().sink->emit(obj);
}

extern const ObjClass kManagerClass, kTableClass, kOutputClass;

// ---- root and common methods -----------------------------------------------------------
int32_t root_create(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  auto* out = find_tag(n, p, kTagNewObject);
  if (out == nullptr || text_of(find_tag(n, p, kTagClassName)) != "rpx") return kObjBadParameter;
  if (ctx().fail_manager > 0) {
    out->value.p = nullptr;
    return 0;
  }
  if (ctx().fail_manager < 0) return -7;
  auto m = std::make_unique<Manager>(&kManagerClass);
  m->instance = text_of(find_tag(n, p, kTagInstance));
  out->value.p = adopt(std::move(m));
  return 0;
}

int32_t object_close(OutputObjectBase*, int32_t, WOB_PARM_BLK_STR*) { return 0; }

// ---- manager ---------------------------------------------------------------------------
int32_t mgr_create_table(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  auto* out = find_tag(n, p, kTagNewObject);
  if (out == nullptr) return kObjBadParameter;
  auto t = std::make_unique<RowTable>(&kTableClass);
  t->out.name = text_of(find_tag(n, p, kTagName));
  t->out.label = text_of(find_tag(n, p, kTagLabel));
  out->value.p = adopt(std::move(t));
  return 0;
}

int32_t mgr_bind(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  auto* in = find_tag(n, p, kTagObject, 0);
  auto* out = find_tag(n, p, kTagObject, 1);
  if (in == nullptr || out == nullptr || in->value.p == nullptr) return kObjBadParameter;
  auto* base = static_cast<OutputObjectBase*>(in->value.p);
  if (base->cls != &kTableClass) return kObjBadParameter;
  auto b = std::make_unique<BoundOutput>(&kOutputClass);
  b->table = static_cast<RowTable*>(base);
  b->template_name = text_of(find_tag(n, p, kTagTemplate));
  out->value.p = adopt(std::move(b));
  return 0;
}

int32_t mgr_render(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  auto* in = find_tag(n, p, kTagObject);
  if (in == nullptr || in->value.p == nullptr) return kObjBadParameter;
  auto* base = static_cast<OutputObjectBase*>(in->value.p);
  if (base->cls != &kOutputClass) return kObjBadParameter;
  auto* b = static_cast<BoundOutput*>(base);
  b->table->out.template_name = b->template_name;
  emit(b->table->out);
  return 0;
}

int32_t mgr_text(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  const TextHandle* h = handle_of(find_tag(n, p, kTagText));
  if (h == nullptr) return kObjBadParameter;
  if (h->set == kSetModule && h->number == 402 && ctx().sink) {
    // The progress note of a subset search: the sink decides how to show it.
    int pct = 0;
    for (char ch : h->text)
      if (ch >= '0' && ch <= '9')
        pct = pct * 10 + (ch - '0');
      else if (pct)
        break;
    ctx().sink->progress(pct);
    return 0;
  }
  TextLine line;
  line.text = h->text;
  auto* j = find_tag(n, p, kTagJustify);
  if (j && j->type == kWobChar) line.justify = j->value.c;
  line.opens_section = int_of(find_tag(n, p, kTagOpensSection), 0) == 1;
  emit(line);
  return 0;
}

std::vector<std::string> names_of(WOB_PARM_BLK_STR* names, WOB_PARM_BLK_STR* width, int count) {
  std::vector<std::string> out;
  if (names == nullptr || names->value.p == nullptr || count <= 0) return out;
  if (names->type == kWobShortNames) {
    auto* s = static_cast<const U_SNAME*>(names->value.p);
    for (int i = 0; i < count; ++i) out.push_back(trim(sname(s[i])));
  } else if (names->type == kWobFixedNames) {
    int w = int_of(width, 0);
    auto* c = static_cast<const char*>(names->value.p);
    for (int i = 0; i < count && w > 0; ++i)
      out.push_back(trim(std::string(c + i * w, static_cast<size_t>(w))));
  }
  return out;
}

int32_t mgr_matrix(OutputObjectBase*, int32_t n, WOB_PARM_BLK_STR* p) {
  MatrixOutput m;
  m.name = text_of(find_tag(n, p, kTagName));
  m.label = text_of(find_tag(n, p, kTagLabel));
  m.title = text_of(find_tag(n, p, kTagMatrixTitle));
  m.template_name = text_of(find_tag(n, p, kTagTemplate));
  m.shape = text_of(find_tag(n, p, kTagShape));
  if (m.shape.empty()) m.shape = "rb";
  int rows = int_of(find_tag(n, p, kTagRows), 0);
  int cols = int_of(find_tag(n, p, kTagCols), 0);
  auto* vals = find_tag(n, p, kTagValues);
  if (rows < 0 || cols < 0 || vals == nullptr) return kObjBadParameter;
  const auto* d = static_cast<const double*>(vals->value.p);
  m.values = Matrix(rows, cols, missing());
  if (d != nullptr) {
    if (m.shape == "sb") {  // packed lower triangle by rows, order cols
      for (int i = 0; i < cols; ++i)
        for (int j = 0; j <= i; ++j) m.values.at(i, j) = m.values.at(j, i) = d[i * (i + 1) / 2 + j];
    } else if (m.shape == "db") {  // the diagonal only
      for (int i = 0; i < cols && i < rows; ++i) {
        for (int j = 0; j < cols; ++j) m.values.at(i, j) = 0.0;
        m.values.at(i, i) = d[i];
      }
    } else {
      std::memcpy(m.values.data.data(), d, sizeof(double) * static_cast<size_t>(rows) * cols);
    }
  }
  m.rownames = names_of(find_tag(n, p, kTagRowNames), nullptr, rows);
  auto* cn = find_tag(n, p, kTagColumnNames);
  m.colnames = cn ? names_of(cn, nullptr, cols)
                  : names_of(find_tag(n, p, kTagFixedNames), find_tag(n, p, kTagNameWidth), cols);
  emit(m);
  return 0;
}

// ---- row table ---------------------------------------------------------------------------
int32_t table_title(OutputObjectBase* self, int32_t n, WOB_PARM_BLK_STR* p) {
  static_cast<RowTable*>(self)->out.title = text_of(find_tag(n, p, kTagTitleText));
  return 0;
}

int32_t table_column(OutputObjectBase* self, int32_t n, WOB_PARM_BLK_STR* p) {
  auto* t = static_cast<RowTable*>(self);
  if (t->defined) return kObjBadState;
  Column c;
  c.info.type = int_of(find_tag(n, p, kTagColumnType), kColDouble);
  c.info.name = text_of(find_tag(n, p, kTagName));
  c.info.width = int_of(find_tag(n, p, kTagWidth), 0);
  c.charlen = int_of(find_tag(n, p, kTagCharLength), 0);
  auto* b = find_tag(n, p, kTagBound);
  c.bound = b ? b->value.p : nullptr;
  if (c.info.type != kColInt && c.info.type != kColLong && c.info.type != kColDouble &&
      c.info.type != kColChars)
    return kObjBadParameter;
  if (c.bound == nullptr) return kObjBadParameter;
  t->out.columns.push_back(c.info);
  t->cols.push_back(c);
  return 0;
}

int32_t table_end_defs(OutputObjectBase* self, int32_t, WOB_PARM_BLK_STR*) {
  static_cast<RowTable*>(self)->defined = true;
  return 0;
}

int32_t table_append(OutputObjectBase* self, int32_t, WOB_PARM_BLK_STR*) {
  auto* t = static_cast<RowTable*>(self);
  if (!t->defined || t->finished) return kObjBadState;
  std::vector<std::variant<double, std::string>> row;
  for (const Column& c : t->cols) {
    switch (c.info.type) {
      case kColInt:
        row.emplace_back(static_cast<double>(*static_cast<const int32_t*>(c.bound)));
        break;
      case kColLong:
        row.emplace_back(static_cast<double>(*static_cast<const int64_t*>(c.bound)));
        break;
      case kColDouble:
        row.emplace_back(*static_cast<const double*>(c.bound));
        break;
      default: {
        const char* s = static_cast<const char*>(c.bound);
        size_t len = c.charlen > 0 ? strnlen(s, static_cast<size_t>(c.charlen)) : std::strlen(s);
        row.emplace_back(trim(std::string(s, len)));
      }
    }
  }
  t->out.rows.push_back(std::move(row));
  return 0;
}

int32_t table_finish(OutputObjectBase* self, int32_t, WOB_PARM_BLK_STR*) {
  static_cast<RowTable*>(self)->finished = true;
  return 0;
}

// Ids are chosen by the protocol; masks are small on purpose so that several ids share a
// bucket and the chains are exercised.
const ObjClass kRootClass = make_class("root", nullptr, 3, {{kSelCreate, root_create}});
const ObjClass kObjectClass = make_class("object", nullptr, 3, {{kSelClose, object_close}});
const ObjClass kManagerClass = make_class("rpx",
                                          &kObjectClass,
                                          15,
                                          {{kSelCreate, mgr_create_table},
                                           {kSelBind, mgr_bind},
                                           {kSelRender, mgr_render},
                                           {kSelTextLine, mgr_text},
                                           {kSelPrintMatrix, mgr_matrix}});
const ObjClass kTableClass = make_class("table",
                                        &kObjectClass,
                                        7,
                                        {{kSelTitle, table_title},
                                         {kSelDefineColumn, table_column},
                                         {kSelEndColumns, table_end_defs},
                                         {kSelAppend, table_append},
                                         {kSelFinish, table_finish}});
const ObjClass kOutputClass = make_class("output", &kObjectClass, 1, {});

}  // namespace

const ObjClass* root_class() { return &kRootClass; }

const ObjClass* class_named(const std::string& name) {
  for (const ObjClass* c : {&kRootClass, &kObjectClass, &kManagerClass, &kTableClass, &kOutputClass})
    if (name == c->name) return c;
  return nullptr;
}

int32_t object_method(void* object, void* cls, int32_t method, int32_t nparm, WOB_PARM_BLK_STR* parms) {
  auto* self = static_cast<OutputObjectBase*>(object);
  const ObjClass* start = cls ? static_cast<const ObjClass*>(cls) : (self ? self->cls : nullptr);
  if (start == nullptr) return kObjBadParameter;
  const MethodFn* fn = find_method(start, method);
  if (fn == nullptr) return kWobNoMethod;
  int32_t rc = (*fn)(self, nparm, parms);
  for (int32_t i = 0; i < nparm; ++i) parms[i].rc = rc;
  return rc;
}

}  // namespace robmat::host
