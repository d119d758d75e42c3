# Link harvesting and frame analysis (commands 2102-2108, 2110, 2112, 2113).
# mireva_link_harvest_core is the logic and links no GUI; mireva_link_harvest
# adds the frame dialog, the progress window and MakeLinkHarvestCommands.
add_library(mireva_link_harvest_core STATIC ${CMAKE_CURRENT_LIST_DIR}/link_harvest.cpp)
target_include_directories(mireva_link_harvest_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mireva_link_harvest_core PRIVATE mireva_flags CURL::libcurl
  PUBLIC mireva_platform mireva_patrol)
get_target_property(mireva_link_harvest_links mireva_link_harvest_core LINK_LIBRARIES)
if("mireva_wx" IN_LIST mireva_link_harvest_links)
  message(FATAL_ERROR "mireva_link_harvest_core must not link mireva_wx")
endif()

# The page is fetched with the view's FetchToFile (page_save) when it is part of
# the build; page_save.cmake may come after this file, hence the generator
# expressions.
add_library(mireva_link_harvest STATIC ${CMAKE_CURRENT_LIST_DIR}/link_harvest_wx.cpp)
target_link_libraries(mireva_link_harvest PRIVATE mireva_flags mireva_wx
  $<TARGET_NAME_IF_EXISTS:mireva_page_save>
  PUBLIC mireva_link_harvest_core)
target_compile_definitions(mireva_link_harvest PRIVATE
  $<$<TARGET_EXISTS:mireva_page_save>:MIREVA_HAVE_PAGE_SAVE=1>)
if(TARGET download_engine)
  add_dependencies(mireva_link_harvest download_engine)
endif()
