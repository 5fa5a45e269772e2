// The module's three globals: the host's control block, process block and kernel handle,
// stored once by mcn_main and read by every service wrapper.
#include "robmat/services.h"

extern "C" {
RZGCB* v_global_gcb_anchor = nullptr;
void* v_global_pidb_anchor = nullptr;
void* Exported_RZHandle = nullptr;
}
