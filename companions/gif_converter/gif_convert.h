#pragma once
// The GIF converter's conversion of bytes into bytes, apart from its files:
// the first image of a GIF (87a or 89a) rewritten as a GIF89a in the one form
// the animated-GIF builder joins without decoding (see gif_convert.cpp).
#include <string>
#include <string_view>

namespace mireva::gifconvert {

// Converts the GIF in `input` into `output`. 0 converted; 1 the input is not a
// GIF this converter reads, 2 the output could not be encoded, each with the
// reason in `error`, which names the input as `name`.
int ConvertGif(std::string_view input, const std::string& name, std::string* output,
               std::string* error);

}  // namespace mireva::gifconvert
