// The module's exported records and entry points: the module-control record the host finds
// first, the program list, mcn_main, the function-table provider vorilmts and its registrar
// xfmuent. The table fixes each routine's name, argument limits, kinds and slot.
#include "frame/entry.h"

#include "frontends/frontends.h"
#include "robmat/services.h"

#ifndef ROBMAT_BUILD_DATE
#define ROBMAT_BUILD_DATE __DATE__
#endif

#define ROBMAT_EXPORT __attribute__((visibility("default")))

extern "C" {

ROBMAT_EXPORT WIPGMCON pcn_VORILMTS = {
    -65536, 1024, 1024, {'v', 'o', 'r', 'i', 'l', 'm', 't', 's'}, 0, vorilmts, 1, 9683, 7301, 15};

ROBMAT_EXPORT WIPGMCON* mcn_pcns[2] = {&pcn_VORILMTS, nullptr};

ROBMAT_EXPORT VIMODCON vi_mcn = {
    "robmat module control",
    kModconMagic,
    8,
    "0.01",
    "robmat 0.1.0",
    ROBMAT_BUILD_DATE,
    mcn_pcns,
    "robmat: robust scale, regression, location and scatter (MAD, LMS, LTS, MVE, MCD).",
    "001"};

// Platform module-initialisation hook; nothing to do on this platform.
static void himodcn() {}

ROBMAT_EXPORT VIMODCON* mcn_main(RZGCB* gcbanchor, void* pidb) {
  v_global_gcb_anchor = gcbanchor;
  v_global_pidb_anchor = pidb;
  himodcn();
  Exported_RZHandle = gcbanchor->kernel_handle;
  return &vi_mcn;
}

ROBMAT_EXPORT void* vorilmts(int64_t request) {
  switch (request) {
    case 1:
      return robmat::xfmuent(1, robmat::kFunctionCount, robmat::function_table(), nullptr);
    case 2:
      return robmat::xfmuent(2, robmat::kFunctionCount, nullptr, robmat::front_ends());
    default:
      return nullptr;
  }
}

}  // extern "C"

namespace robmat {

namespace {

// 3 bits per input argument, first argument lowest.
constexpr int64_t kargs(int k1, int k2 = 0, int k3 = 0, int k4 = 0) {
  return k1 | (k2 << 3) | (k3 << 6) | (k4 << 9);
}
constexpr char kProduct = 'R';

FNCITEM g_table[kFunctionCount] = {
    {"MAD*", {0, 0, 1, 2, kProduct, 0, kargs(kFargNumeric, kFargCharacter)}},
    {"LMS", {0, 0, 2, 4, kProduct, 1, kargs(kFargNumeric, kFargNumeric, kFargNumeric, kFargNumeric)}},
    {"LTS", {0, 0, 2, 4, kProduct, 1, kargs(kFargNumeric, kFargNumeric, kFargNumeric, kFargNumeric)}},
    {"MVE", {0, 0, 2, 3, kProduct, 1, kargs(kFargNumeric, kFargNumeric, kFargNumeric)}},
    {"MCD", {0, 0, 2, 3, kProduct, 1, kargs(kFargNumeric, kFargNumeric, kFargNumeric)}},
};

RobmatFrontEnd g_front_ends[kFunctionCount] = {duxmad, duxlms, duxlts, duxmve, duxmcd};

// Flags the host's allocator expects for memory that lives as long as the module.
constexpr uint64_t kModuleLifetimeFlags = 0x2006;

}  // namespace

FNCITEM* function_table() { return g_table; }
RobmatFrontEnd* front_ends() { return g_front_ends; }

void* xfmuent(int request, int nfncs, FNCITEM* fncitems, RobmatFrontEnd* fncrtn) {
  if (request == 1) {
    auto* usr = static_cast<FNCUSR*>(xmalloc(sizeof(FNCUSR), kModuleLifetimeFlags));
    if (usr == nullptr) xexit(kExitNoMemory, 0);
    usr->nfnc = nfncs;
    usr->fncitem = fncitems;
    return usr;
  }
  if (request == 2) {
    auto* slots =
        static_cast<RobmatFrontEnd*>(xmalloc(static_cast<int64_t>(nfncs) * 8 + 8, kModuleLifetimeFlags));
    if (slots == nullptr) xexit(kExitNoMemory, 0);
    for (int i = 0; i < nfncs; ++i) slots[i + 1] = fncrtn[i];
    return slots;
  }
  return nullptr;
}

}  // namespace robmat
