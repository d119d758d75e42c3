#pragma once
// The compositing of PngCompo on quarters held in memory, the joined PNG
// returned in memory: the same reading, joining and encoding as the export
// without its files and its messages. Not exported from the library.
#include <string>

namespace mireva::pngcompo {

// `quarters` north-west, north-east, south-west, south-east; a null one is
// missing. The result codes are PngCompo's; `png` is empty unless one was
// written.
int JoinInMemory(const std::string* const quarters[4], std::string* png);

}  // namespace mireva::pngcompo
