#pragma once
// Moves every "Cache/mosaic*.jpg" of `workingFolder` to "DownLoad/" under the
// same name. A file whose name is already taken in "DownLoad" (or that cannot be
// moved for another reason) stays where it is; the others are still moved.
// Returns the number of files moved.
#include <string>

namespace mireva {

int MoveMosaicImages(const std::string& workingFolder = ".");

}  // namespace mireva
