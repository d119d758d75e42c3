#pragma once
// Small file helpers over Shift_JIS paths (converted to the host's UTF-8 names).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mireva {

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& sjisPath);

// Writes `data` to a temporary name beside `sjisPath`, flushes it to disk and
// renames it over the target, so readers see either the old or the new file,
// never half of one. False (and no temporary left behind) on any failure.
bool WriteFileAtomically(const std::string& sjisPath, const std::string& data);

bool FileExists(const std::string& sjisPath);

// The lines of a text, without their line ends (LF or CR LF); a last line
// without a line end counts, an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
bool MakeDirectories(const std::string& sjisPath);

}  // namespace mireva
