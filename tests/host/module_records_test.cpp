// The exported records of librobmat.so as the host's loader reads them, and the table of
// routines it registers: names, limits, kinds, kind of routine and slot order.
#include "robmat/module_records.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "robmat/host/session.h"

namespace {

TEST(ModuleRecords, ControlAndProgramRecords) {
  void* h = dlopen(ROBMAT_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto* vi = static_cast<const VIMODCON*>(dlsym(h, "vi_mcn"));
  auto* list = static_cast<WIPGMCON* const*>(dlsym(h, "mcn_pcns"));
  auto* pcn = static_cast<const WIPGMCON*>(dlsym(h, "pcn_VORILMTS"));
  ASSERT_TRUE(vi && list && pcn && dlsym(h, "mcn_main") && dlsym(h, "vorilmts"));
  EXPECT_EQ(vi->modconmagic, 0xB0BDEBEDull);
  EXPECT_EQ(vi->compat_flags, 8u);
  EXPECT_EQ(vi->pgmcons, list);
  EXPECT_EQ(std::strlen(vi->releasenum), 3u);
  // portver: a digit, a point and two digits.
  EXPECT_TRUE(std::isdigit(vi->portver[0]) && vi->portver[1] == '.' && std::isdigit(vi->portver[2]) &&
              std::isdigit(vi->portver[3]));
  EXPECT_EQ(list[0], pcn);
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(pcn->stacksize, -65536);
  EXPECT_EQ(pcn->isa, 1024);
  EXPECT_EQ(pcn->osa, 1024);
  EXPECT_EQ(std::string(pcn->name, 8), "vorilmts");
  EXPECT_EQ(pcn->flags, 0);
  EXPECT_EQ(reinterpret_cast<void*>(pcn->ep), dlsym(h, "vorilmts"));
  EXPECT_EQ(pcn->imgtype, 1);
  EXPECT_EQ(pcn->support, 9683);
  EXPECT_EQ(pcn->cntlc, 15);
  // Only the five records are exported: everything else of the module is hidden.
  EXPECT_EQ(dlsym(h, "xfmuent"), nullptr);
  EXPECT_EQ(dlsym(h, "v_global_gcb_anchor"), nullptr);
}

TEST(ModuleRecords, FunctionTableAsRegistered) {
  robmat::host::Session s(ROBMAT_MODULE_PATH);
  struct Want {
    const char* name;
    int fmin, fmax;
    bool call;
    int64_t fargi;
  };
  const Want want[] = {{"MAD", 1, 2, false, 0x11},
                       {"LMS", 2, 4, true, 0x249},
                       {"LTS", 2, 4, true, 0x249},
                       {"MVE", 2, 3, true, 0x49},
                       {"MCD", 2, 3, true, 0x49}};
  ASSERT_EQ(s.routines().size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(want[i].name);
    const auto& r = s.routines()[i];
    EXPECT_EQ(r.name, want[i].name);
    EXPECT_EQ(r.fmin, want[i].fmin);
    EXPECT_EQ(r.fmax, want[i].fmax);
    EXPECT_EQ(r.call_routine, want[i].call);
    EXPECT_EQ(r.fargi, want[i].fargi);
  }
  EXPECT_EQ(s.find("mad"), &s.routines()[0]);
  EXPECT_EQ(s.find("Mcd"), &s.routines()[4]);
  EXPECT_EQ(s.find("MAD*"), nullptr);
}

}  // namespace
