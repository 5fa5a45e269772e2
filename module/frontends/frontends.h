// The five front ends, one per routine, with the common signature of the function table.
#pragma once

#include "robmat/host_services.h"

namespace robmat {

int32_t duxmad(DULSYM** arg, int32_t* to_n);
int32_t duxlms(DULSYM** arg, int32_t* to_n);
int32_t duxlts(DULSYM** arg, int32_t* to_n);
int32_t duxmve(DULSYM** arg, int32_t* to_n);
int32_t duxmcd(DULSYM** arg, int32_t* to_n);

}  // namespace robmat
