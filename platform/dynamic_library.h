#pragma once
// Loading of the project's run-time libraries by bare name, always from the
// program's folder, so that no system library of a similar name is taken
// instead. "Hovrel", "HOVREL.DLL" and "DownLoad.dll" name libHovrel.so and
// libDownLoad.so: a trailing ".dll" (any case) is dropped, the base keeps the
// case of the project's file names except for the all-capitals spellings of
// the file names callers ask for ("PNG.DLL"), which LibraryFileName maps to the built name.
#include <string>

namespace mireva {

// The platform's file name for a bare library name ("Hovrel" -> "libHovrel.so").
std::string LibraryFileName(const std::string& bareName);

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library from `folder` (the program's folder when empty).
  // False when it is missing or cannot be loaded; Error() then says why.
  bool Open(const std::string& bareName, const std::string& folder = std::string());
  bool IsOpen() const { return handle_ != nullptr; }
  // The address of an exported entry, or nullptr.
  void* Symbol(const char* name) const;
  template <typename Fn>
  Fn Entry(const char* name) const { return reinterpret_cast<Fn>(Symbol(name)); }
  void Close();
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace mireva
