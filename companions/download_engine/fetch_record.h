#pragma once
// The lasting record of what the engine has fetched, kept in "DownLoad" so that
// a patrol repeated every day fetches only what is new. One line per address:
//   address TAB size TAB unix-time TAB folder/name LF
// The file is the engine's own; it is rewritten whole through a temporary name.
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

namespace mireva::dl {

inline constexpr char kRecordName[] = "Fetched.lst";

class FetchRecord {
 public:
  // Reads the record from the open folder "DownLoad" (missing: empty). Lines
  // longer than the limit and entries beyond the limit are ignored.
  void Load(int downloadFolderFd);
  bool Has(const std::string& url) const { return entries_.count(url) != 0; }
  void Add(const std::string& url, long long size, long long time, const std::string& file);
  // Writes the record back when it changed: to a temporary name, flushed,
  // renamed over the old one, the folder flushed. `keepGoing` is asked after
  // each megabyte written; when it says no, the old record stays as it was.
  // False when the record was not written.
  bool Save(int downloadFolderFd, const std::function<bool()>& keepGoing = {});
  size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    long long size = 0;
    long long time = 0;
    std::string file;
    unsigned long long order = 0;
  };
  std::unordered_map<std::string, Entry> entries_;
  unsigned long long next_ = 0;
  bool changed_ = false;
};

}  // namespace mireva::dl
