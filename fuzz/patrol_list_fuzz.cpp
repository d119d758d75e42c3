// "Patrol.lst" as the editor and a running patrol read it, and the engine's
// reading of the same file. Saving what was read and reading it again is
// stable from the second save on (the first may drop a sub-page line's own
// leading blanks, which the display form cannot keep, and with them a line
// that then reads as a control line).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "companions/download_engine/list_files.h"
#include "fuzz/fuzz_support.h"
#include "patrol/patrol_list.h"

using namespace mireva;

namespace {

using mireva::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::WriteScratch("Patrol.lst", data, size);
  fuzz::QuietInteraction ui;

  const std::vector<std::string> items = ParsePatrolListItems(text);
  const std::vector<std::string> saved = ParsePatrolListItems(FormatPatrolList(items));
  Check(ParsePatrolListItems(FormatPatrolList(saved)) == saved);
  if (fuzz::OneIn64(data, size)) Check(ReadPatrolListItems(path) == items);

  PatrolListReader reader(ui, path);
  if (reader.Open()) {
    std::string address;
    size_t visited = 0;
    while (reader.NextEntry(&address)) {
      Check(address.size() <= kMaxAddress);
      Check(++visited <= size);  // one line at least for each address
    }
    reader.Close();
  }

  (void)dl::ParsePatrolList(std::string(reinterpret_cast<const char*>(data), size));
  for (const std::string& item : items) (void)EditorItemFromText(item);
  return 0;
}
