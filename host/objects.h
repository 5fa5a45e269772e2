// The host's output-object system: classes with method tables (index id AND mask, chained
// by id, superclass walk), the output manager "rpx", row tables and bound outputs. Objects
// belong to the call that created them; rendering hands finished outputs to the call's sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "robmat/host/output.h"
#include "robmat/host_services.h"

namespace robmat::host {

struct ObjClass;
struct OutputObjectBase;

using MethodFn = int32_t (*)(OutputObjectBase* self, int32_t nparm, WOB_PARM_BLK_STR* parms);

struct MethodEntry {
  int32_t id;
  MethodFn fn;
  const MethodEntry* next;  // next entry of the same bucket
};

struct ObjClass {
  const char* name;
  const ObjClass* super;
  uint32_t mask;  // bucket index = id & mask
  std::vector<const MethodEntry*> buckets;
  std::vector<MethodEntry> storage;  // entries, stable after construction
};

struct OutputObjectBase {
  explicit OutputObjectBase(const ObjClass* c) : cls(c) {}
  virtual ~OutputObjectBase() = default;
  const ObjClass* cls;
  bool released = false;
};

// Finds the method for `id`, starting at `cls` and walking up the superclasses; null when
// no class has it.
const MethodFn* find_method(const ObjClass* cls, int32_t id);

// wobmth: dispatches to `cls` (or the object's class when cls is null).
int32_t object_method(void* object, void* cls, int32_t method, int32_t nparm, WOB_PARM_BLK_STR* parms);

// Root class handed out by xobinit; its create method (0x93) makes an output manager.
const ObjClass* root_class();

// Builds a class from (id, fn) pairs; exposed for tests of the lookup rules.
ObjClass make_class(const char* name,
                    const ObjClass* super,
                    uint32_t mask,
                    std::initializer_list<std::pair<int32_t, MethodFn>> methods);

// Class of an object by name ("rpx", "table", "output"), for tests.
const ObjClass* class_named(const std::string& name);

// Status codes the host's objects return.
inline constexpr int32_t kObjBadParameter = -2;
inline constexpr int32_t kObjBadState = -3;

}  // namespace robmat::host
