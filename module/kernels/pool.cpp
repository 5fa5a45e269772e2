// Worker pool over the host's thread-pool extension and its events; see pool.h.
#include "kernels/pool.h"

#include "robmat/services.h"

namespace robmat {

rctype zpudi(PuddleControl* control, int numThreads, int errorFlags, fnptr* userCallBack) {
  control->puddle = nullptr;
  control->extHandle = thr().rzextload("rzepdl");
  if (control->extHandle == nullptr) {
    if (errorFlags & 1) {
      xebug("rzExtensionLoad failed in zpudi");
      xexit(kExitPool, 0);
    }
    return 1;
  }
  TPDLCreateParms parms{};
  parms.min = numThreads;
  parms.max = numThreads;
  parms.more = 1;
  parms.logic = userCallBack;
  parms.flags = 0x80000000u;
  control->puddle = static_cast<RzThreadExtension*>(control->extHandle)->tpdlCreate(&parms);
  if (control->puddle == nullptr) {
    thr().rzextunload(control->extHandle);
    control->extHandle = nullptr;
    if (errorFlags & 1) {
      xebug("tpdlCreate failed in zpudi");
      xexit(kExitPool, 0);
    }
    return 2;
  }
  return 0;
}

void zpudenq(PuddleControl* control, void* parms) {
  Puddle* pool = control->puddle;
  if (pool->enqueue(pool, parms, nullptr, 0, nullptr) != 0) {
    xebug("puddleEnque failed");
    xexit(kExitPool, 0);
  }
}

rctype zpudtry(PuddleControl* control, void* parms) {
  Puddle* pool = control->puddle;
  return pool->enqueue(pool, parms, nullptr, 0, nullptr) != 0 ? 1 : 0;
}

void zpudidle(PuddleControl* control) { control->puddle->quiesce(control->puddle); }

void zpudwt(PuddleControl* control) {
  Puddle* pool = control->puddle;
  void* event = thr().wtevcreate();
  bool ok = event != nullptr && pool->wait(pool, event) == 0 && thr().wtgwait(event) == 0;
  if (event != nullptr) thr().wtevfree(event);
  if (!ok || pool->reset(pool) != 0) {
    xebug("zpudlwt failed");
    xexit(kExitPool, 0);
  }
}

void zpudt(PuddleControl* control) {
  Puddle* pool = control->puddle;
  if (pool != nullptr) {
    pool->quiesce(pool);
    pool->gen.destroy(pool);
  }
  if (control->extHandle != nullptr) thr().rzextunload(control->extHandle);
  control->puddle = nullptr;
  control->extHandle = nullptr;
}

}  // namespace robmat
