// Exported entry points and the function table of the module.
#pragma once

#include <cstdint>

#include "robmat/host_services.h"
#include "robmat/module_records.h"

extern "C" {
extern VIMODCON vi_mcn;
extern WIPGMCON* mcn_pcns[2];
extern WIPGMCON pcn_VORILMTS;
VIMODCON* mcn_main(RZGCB* gcbanchor, void* pidb);
void* vorilmts(int64_t request);
}

namespace robmat {

inline constexpr int kFunctionCount = 5;

// The registrar: request 1 returns an FNCUSR header for the table, request 2 the address
// table with slot 0 unused; memory comes from the host and lives as long as the module.
// Exits through xexit(1016) when the host has no memory.
void* xfmuent(int request, int nfncs, FNCITEM* fncitems, RobmatFrontEnd* fncrtn);

FNCITEM* function_table();
RobmatFrontEnd* front_ends();

}  // namespace robmat
