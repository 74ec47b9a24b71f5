#include "RegistryFiles/Images/tsk_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>

namespace platform {
namespace {

struct DlCloser {
  void operator()(void* handle) const { dlclose(handle); }
};

struct Loaded {
  std::unique_ptr<void, DlCloser> handle;
  TskLibrary api{};
  std::string why;  // empty when loaded
};

template <typename F>
bool Bind(void* handle, const char* name, F* f, std::string* why) {
  *f = reinterpret_cast<F>(dlsym(handle, name));
  if (!*f && why->empty()) *why = std::string(HIVTAP_TSK_SONAME) + " : " + name;
  return *f != nullptr;
}

Loaded Load() {
  Loaded l;
  // Local: its symbols stay out of the program's own lookups. Never
  // unloaded: its libraries keep what they made at load time to the end.
  l.handle.reset(dlopen(HIVTAP_TSK_SONAME, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!l.handle) {
    const char* error = dlerror();
    l.why = error ? error : HIVTAP_TSK_SONAME;
    return l;
  }
  void* h = l.handle.get();
  TskLibrary& a = l.api;
  std::string& w = l.why;
  Bind(h, "tsk_error_reset", &a.error_reset, &w);
  Bind(h, "tsk_img_open_utf8", &a.img_open_utf8, &w);
  Bind(h, "tsk_img_open_external", &a.img_open_external, &w);
  Bind(h, "tsk_img_read", &a.img_read, &w);
  Bind(h, "tsk_img_close", &a.img_close, &w);
  Bind(h, "tsk_vs_open", &a.vs_open, &w);
  Bind(h, "tsk_vs_part_get", &a.vs_part_get, &w);
  Bind(h, "tsk_vs_close", &a.vs_close, &w);
  Bind(h, "tsk_fs_open_img", &a.fs_open_img, &w);
  Bind(h, "tsk_fs_close", &a.fs_close, &w);
  Bind(h, "tsk_fs_file_open", &a.fs_file_open, &w);
  Bind(h, "tsk_fs_file_read", &a.fs_file_read, &w);
  Bind(h, "tsk_fs_file_close", &a.fs_file_close, &w);
  Bind(h, "tsk_fs_dir_open", &a.fs_dir_open, &w);
  Bind(h, "tsk_fs_dir_getsize", &a.fs_dir_getsize, &w);
  Bind(h, "tsk_fs_dir_get_name", &a.fs_dir_get_name, &w);
  Bind(h, "tsk_fs_dir_close", &a.fs_dir_close, &w);
  return l;
}

const Loaded& Library() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

const TskLibrary* LoadTsk(std::string* why) {
  const Loaded& l = Library();
  *why = l.why;
  return l.why.empty() ? &l.api : nullptr;
}

const TskLibrary& Tsk() {
  const Loaded& l = Library();
  // Handles exist only once it loaded.
  if (!l.why.empty()) std::abort();
  return l.api;
}

}  // namespace platform
