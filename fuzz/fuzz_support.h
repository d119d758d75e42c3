#pragma once
// Shared pieces of the fuzz targets: a private scratch folder for the readers
// that take a path, and an Interaction that answers every question without a
// window.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/interaction.h"

namespace mireva::fuzz {

// One scratch folder per process under TMPDIR (scripts/fuzz.sh points it at a
// folder on tmpfs that it removes afterwards), else on tmpfs when there is one,
// so that the readers' files and the writers' fsyncs cost next to nothing.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/mireva-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return folder;
}

// Writes `size` bytes to `name` inside the scratch folder; the full path.
inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = ScratchFolder() + "/" + name;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return path;
}

// Stops the run with a finding when a property a target checks does not hold.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

// One input in 64, chosen by a hash of all its bytes, so that the inputs the
// fuzzer derives from one that went that way mostly do not.
inline bool OneIn64(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h % 64 == 0;
}

// The whole of a scratch file; empty when it is missing.
inline std::string ReadScratch(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class QuietInteraction : public Interaction {
 public:
  void ShowMessage(const std::string&, MessageIcon, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFileToSave(const std::string&, const std::string&,
                                              const std::string&) override {
    return std::nullopt;
  }
  std::optional<Credentials> AskPassword(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

}  // namespace mireva::fuzz
