#include <gtest/gtest.h>

#include "core/runtime/type_dialog_api.h"
#include "platform/dynamic_library.h"
#include "tests/support/test_server.h"

namespace mireva {
namespace {

TEST(TypeDialogLibrary, LoadsByNameWithItsExport) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Open("TAVISH2.DLL", testing::BinDir())) << lib.Error();
  EXPECT_NE(lib.Entry<LoadTypeDlgFn>("LoadTypeDlg"), nullptr);
  EXPECT_EQ(lib.Symbol("RunDialog"), nullptr);  // nothing else is exported
}

}  // namespace
}  // namespace mireva
