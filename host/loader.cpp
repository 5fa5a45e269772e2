// The loader keeps every module it has opened for the life of the process: the module
// stores the host's control block in its globals at mcn_main, and a module is never entered
// twice through mcn_main.
#include "loader.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "call_context.h"

namespace robmat::host {
namespace {

std::mutex g_mutex;
std::map<std::string, std::unique_ptr<LoadedModule>> g_modules;

std::string fixed_text(const char* p, size_t n) {
  std::string s(p, strnlen(p, n));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

template <class T>
T lookup(void* handle, const char* name, const std::string& path) {
  void* sym = dlsym(handle, name);
  if (sym == nullptr)
    throw Error("The file " + path + " is not a robmat module: it does not export " + name + ".");
  return reinterpret_cast<T>(sym);
}

// Runs module code outside a routine call (entry and table requests) with a context of its
// own, so that its log lines and an xexit become a load error.
template <class F>
auto run_loading(const std::string& path, F f) {
  CallContext ctx;
  ctx.routine = "(module load)";
  CallContext* saved = current_call();
  set_current_call(&ctx);
  try {
    auto r = f();
    set_current_call(saved);
    return r;
  } catch (const ExitUnwind& e) {
    set_current_call(saved);
    throw Error("The module " + path + " stopped with code " + std::to_string(e.code) +
                " while it was loaded.");
  }
}

std::unique_ptr<LoadedModule> open_module(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error("The module file " + path + " does not exist.");
  if (!fs::is_regular_file(path, ec)) throw Error("The module path " + path + " is not a file.");
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw Error("The file " + path + " could not be loaded as a module: " + (why ? why : "unknown reason") +
                ".");
  }
  auto m = std::make_unique<LoadedModule>();
  m->path = path;
  m->handle = handle;
  try {
    auto* control = lookup<const VIMODCON*>(handle, "vi_mcn", path);
    if (control->modconmagic != kModconMagic) {
      char buf[160];
      std::snprintf(buf,
                    sizeof buf,
                    "its module-control magic is 0x%llX where 0x%llX was expected",
                    static_cast<unsigned long long>(control->modconmagic),
                    static_cast<unsigned long long>(kModconMagic));
      throw Error("The file " + path + " is not a robmat module: " + buf + ".");
    }
    lookup<WIPGMCON**>(handle, "mcn_pcns", path);
    auto mcn_main = lookup<VIMODCON* (*)(RZGCB*, void*)>(handle, "mcn_main", path);
    auto vorilmts = lookup<void* (*)(int64_t)>(handle, "vorilmts", path);
    m->control = run_loading(path, [&] { return mcn_main(host_gcb(), nullptr); });
    auto* usr = static_cast<const FNCUSR*>(run_loading(path, [&] { return vorilmts(1); }));
    auto* slots = static_cast<RobmatFrontEnd*>(run_loading(path, [&] { return vorilmts(2); }));
    if (usr == nullptr || slots == nullptr || usr->nfnc < 0 || (usr->nfnc > 0 && usr->fncitem == nullptr))
      throw Error("The module " + path + " did not provide its table of routines.");
    for (int i = 0; i < usr->nfnc; ++i) {
      const FNCITEM& it = usr->fncitem[i];
      RegisteredRoutine r;
      r.info.name = fixed_text(it.fncname, sizeof it.fncname);
      if (!r.info.name.empty() && r.info.name.back() == '*') r.info.name.pop_back();
      r.info.fmin = it.fstr.fmin;
      r.info.fmax = it.fstr.fmax;
      r.info.call_routine = it.fstr.fdesc == 1;
      r.info.fargi = it.fstr.fargi;
      r.entry = slots[i + 1];
      if (r.info.name.empty() || r.entry == nullptr)
        throw Error("The module " + path + " has an unnamed routine or one without an entry in its table.");
      m->routines.push_back(std::move(r));
    }
  } catch (...) {
    dlclose(handle);
    throw;
  }
  return m;
}

}  // namespace

const LoadedModule& load_module(const std::string& path) {
  std::error_code ec;
  std::string key = std::filesystem::weakly_canonical(path, ec).string();
  if (ec || key.empty()) key = path;
  std::lock_guard lock(g_mutex);
  auto it = g_modules.find(key);
  if (it != g_modules.end()) return *it->second;
  auto m = open_module(path);
  return *(g_modules[key] = std::move(m));
}

}  // namespace robmat::host
