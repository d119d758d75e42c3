# Link harvesting and frame analysis (commands 2102-2108, 2110, 2112, 2113).
# mireva_link_harvest is the logic and links no GUI; mireva_link_harvest_wx adds
# the frame dialog, the progress window and MakeLinkHarvestCommands.
add_library(mireva_link_harvest STATIC ${CMAKE_CURRENT_LIST_DIR}/link_harvest.cpp)
target_include_directories(mireva_link_harvest PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mireva_link_harvest PRIVATE mireva_flags CURL::libcurl
  PUBLIC mireva_platform mireva_patrol)
get_target_property(mireva_link_harvest_links mireva_link_harvest LINK_LIBRARIES)
if("mireva_wx" IN_LIST mireva_link_harvest_links)
  message(FATAL_ERROR "mireva_link_harvest must not link mireva_wx")
endif()

add_library(mireva_link_harvest_wx STATIC ${CMAKE_CURRENT_LIST_DIR}/link_harvest_wx.cpp)
target_link_libraries(mireva_link_harvest_wx PRIVATE mireva_flags mireva_wx
  PUBLIC mireva_link_harvest)
