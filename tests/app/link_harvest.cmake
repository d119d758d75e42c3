# Link harvesting and frame analysis, tested with the real download engine
# against the loopback test server.
mireva_test(link_harvest_test ${CMAKE_CURRENT_LIST_DIR}/link_harvest_test.cpp)
target_link_libraries(link_harvest_test PRIVATE mireva_link_harvest_core mireva_app_core mireva_test_support)
if(TARGET download_engine)
  add_dependencies(link_harvest_test download_engine)
endif()
