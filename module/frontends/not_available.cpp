// Front ends of routines whose engines are not built yet: they compute nothing and say so,
// so that a script learns the routine exists but cannot be used in this build.
#include "frontends/frontends.h"
#include "robmat/services.h"

namespace robmat {

namespace {
int32_t not_available(const char* routine) {
  xpslog("%1zThe routine %s is not available in this build of robmat yet.", routine);
  return 1;
}
}  // namespace

int32_t duxlms(DULSYM**, int32_t*) { return not_available("LMS"); }
int32_t duxlts(DULSYM**, int32_t*) { return not_available("LTS"); }

}  // namespace robmat
