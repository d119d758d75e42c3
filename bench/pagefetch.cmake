# The page-fetch library's code converter against glibc iconv.
if(TARGET mireva_pagefetch)
  add_executable(pagefetch_converter_bench ${CMAKE_CURRENT_LIST_DIR}/pagefetch_converter.cpp)
  target_link_libraries(pagefetch_converter_bench PRIVATE mireva_flags mireva_pagefetch)
endif()
