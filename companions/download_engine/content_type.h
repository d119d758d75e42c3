#pragma once
// The type of a file told by its first bytes, for sorting the cache folder.
#include <string>

namespace mireva::dl {

// A short lower-case type name that is also the usual extension ("jpg", "gif",
// "png", "bmp", "tif", "pdf", "zip", "lzh", "exe", "mid", "mp3", "wav", "avi",
// "wmv", "mov", "mp4", "swf", "html"), or "" when the bytes are not recognised.
std::string SniffType(const std::string& head);

}  // namespace mireva::dl
