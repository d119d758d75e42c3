// The INI reader and writer: any file is read, looked up with any capacity,
// changed and written back; a plain key set in it reads back as it was set.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/ini_file.h"

using namespace mireva;

namespace {

using mireva::fuzz::Check;

// Letters and digits only, never empty: a name or value the file keeps as it is.
std::string Plain(std::string text, const char* fallback) {
  std::string out;
  for (char c : text)
    if (std::isalnum(static_cast<unsigned char>(c))) out += c;
  return out.empty() ? fallback : out;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 300);
  const std::string section = in.ConsumeRandomLengthString(16);
  const std::string key = in.ConsumeRandomLengthString(16);
  const std::string value = in.ConsumeRandomLengthString(32);
  const std::string file = in.ConsumeRemainingBytesAsString();

  ProfileFile profile;
  profile.Parse(file);
  const std::string got = profile.Get(section, key, "default", capacity);
  Check(capacity == 0 ? got.empty() : got.size() < capacity || got == "default");
  // Any other bytes (a line end in a name or value is the caller's to refuse).
  profile.Set(OneLine(section), OneLine(key), OneLine(value));
  const std::string plainSection = Plain(section, "Tollick"), plainKey = Plain(key, "Key"),
                    plainValue = Plain(value, "1");
  profile.Set(plainSection, plainKey, plainValue);
  const std::string saved = profile.Text();

  ProfileFile reread;
  reread.Parse(saved);
  Check(reread.Get(plainSection, plainKey, "", 256) == plainValue.substr(0, 255));

  // The file calls on the same bytes, for one input in 64: they read and
  // write what the bytes in memory give.
  if (fuzz::OneIn64(data, size)) {
    const std::string path = fuzz::WriteScratch(
        "TollickApp.ini", reinterpret_cast<const uint8_t*>(file.data()), file.size());
    Check(GetProfileString(path, section, key, "default", capacity) == got);
    ProfileFile loaded;
    Check(loaded.Load(path));
    loaded.Set(OneLine(section), OneLine(key), OneLine(value));
    loaded.Set(plainSection, plainKey, plainValue);
    Check(loaded.Save(path));
    Check(fuzz::ReadScratch(path) == saved);
  }
  return 0;
}
