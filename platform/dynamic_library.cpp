#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <strings.h>

#include "platform/folders.h"

namespace mireva {

std::string LibraryFileName(const std::string& bareName) {
  std::string base = bareName;
  if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0)
    base.resize(base.size() - 4);
  // The upper-case file names the program asks for, as callers spell them.
  if (strcasecmp(base.c_str(), "hovrel") == 0) base = "Hovrel";
  else if (strcasecmp(base.c_str(), "quandex") == 0) base = "Quandex";
  else if (strcasecmp(base.c_str(), "download") == 0) base = "DownLoad";
  else if (strcasecmp(base.c_str(), "png") == 0) base = "PngCompo";
  else if (strcasecmp(base.c_str(), "tavish2") == 0) base = "Tavish2";
  return "lib" + base + ".so";
}

DynamicLibrary::~DynamicLibrary() { Close(); }

bool DynamicLibrary::Open(const std::string& bareName, const std::string& folder) {
  Close();
  std::string dir = folder.empty() ? ProgramFolder() : folder;
  std::string path = dir + "/" + LibraryFileName(bareName);
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    error_ = e ? e : "cannot load " + path;
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

void DynamicLibrary::Close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace mireva
