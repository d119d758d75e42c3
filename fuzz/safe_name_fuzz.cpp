// SafeFileName and the helpers around it: whatever the raw name, the result is
// a name its own check accepts, and so are its numbered forms.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "companions/download_engine/safe_name.h"

using namespace mireva::dl;

namespace {

using mireva::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int n = in.ConsumeIntegralInRange<int>(0, 100000);
  const size_t cut = in.ConsumeIntegralInRange<size_t>(0, 300);
  const std::string raw = in.ConsumeRemainingBytesAsString();

  const std::string name = SafeFileName(raw);
  Check(IsSafeFileName(name));
  Check(SafeFileName(name) == name);  // a safe name stays as it is
  Check(IsSafeFileName(NumberedName(name, n)));

  const std::string base = CutNameBase(name, cut);
  Check(!base.empty());
  Check(IsSafeFileName(base + ".jpg") || base.size() + 4 > kMaxNameBytes);
  Check(CutUtf8(raw, cut).size() <= cut);
  return 0;
}
