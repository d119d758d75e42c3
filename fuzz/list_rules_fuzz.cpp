// The rules file "DownLoadRules.ini": a kind's section read from the input,
// and its patterns tried on addresses.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "companions/download_engine/list_rules.h"
#include "fuzz/fuzz_support.h"
#include "platform/ini_file.h"

using namespace mireva::dl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string kind = in.ConsumeRandomLengthString(24);
  if (kind.empty()) kind = "sdss mosaic";
  const std::string url = in.ConsumeRandomLengthString(96);
  const std::string file = in.ConsumeRemainingBytesAsString();
  mireva::ProfileFile profile;
  profile.Parse(file);
  auto rules = KindRulesFrom(profile, kind);
  // The file's reading, for one input in 64, gives the same rules.
  if (mireva::fuzz::OneIn64(data, size)) {
    const std::string path = mireva::fuzz::WriteScratch(
        kRulesFileName, reinterpret_cast<const uint8_t*>(file.data()), file.size());
    auto loaded = LoadKindRules(path, kind);
    mireva::fuzz::Check(loaded.has_value() == rules.has_value());
    if (rules)
      mireva::fuzz::Check(loaded->label == rules->label &&
                          loaded->patrolMatch == rules->patrolMatch &&
                          loaded->downloadSkip == rules->downloadSkip);
  }
  if (!rules) return 0;
  for (const std::string& address : {url, std::string("http://www.example.jp/img/a.jpg?x=1")}) {
    (void)Selected(address, rules->patrolMatch, rules->patrolSkip);
    (void)Selected(address, rules->downloadMatch, rules->downloadSkip);
  }
  return 0;
}
