# Page save and source view (commands 400, 401, 402, 801): the program's side
# of the page-fetch library. Logic only, no wx; included by app/CMakeLists.txt.
add_library(mireva_page_save STATIC ${CMAKE_CURRENT_LIST_DIR}/page_save.cpp)
target_include_directories(mireva_page_save PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mireva_page_save PRIVATE mireva_flags
  PUBLIC mireva_platform mireva_patrol)
if(TARGET mireva_app_core)
  target_link_libraries(mireva_page_save PUBLIC mireva_app_core)
else()
  target_sources(mireva_page_save PRIVATE ${CMAKE_SOURCE_DIR}/app/command_router.cpp)
endif()
# The program loads libHovrel.so from its own folder: build it with the program.
if(TARGET hovrel)
  add_dependencies(mireva_page_save hovrel)
endif()
