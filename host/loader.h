// Loading a module file: dlopen, the module-control checks, mcn_main and the two requests
// for the function table. A module is loaded once per process and shared by all sessions.
#pragma once

#include <string>
#include <vector>

#include "robmat/host/session.h"
#include "robmat/module_records.h"

namespace robmat::host {

struct RegisteredRoutine {
  RoutineInfo info;
  RobmatFrontEnd entry = nullptr;
};

struct LoadedModule {
  std::string path;
  void* handle = nullptr;
  const VIMODCON* control = nullptr;
  std::vector<RegisteredRoutine> routines;
};

// Loads (or returns the already loaded) module at `path`; throws Error with a message that
// says what is wrong with the file.
const LoadedModule& load_module(const std::string& path);

}  // namespace robmat::host
