#pragma once
// The program's built-in release page: a user's guide in Japanese (UTF-8 HTML),
// compiled into the program from resources/release.html.
#include <string>

namespace mireva {

std::string ReleasePageHtml();

}  // namespace mireva
