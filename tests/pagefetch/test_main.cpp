// The library's own tests run without its fixed pauses and never through a
// proxy of the environment: the loopback server is reached directly.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pagefetch/host.h"

int main(int argc, char** argv) {
  for (const char* v :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    unsetenv(v);
  mireva::hovrel::testing::SetPausesEnabled(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
