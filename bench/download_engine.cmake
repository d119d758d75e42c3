# The download engine against wget and curl on one loopback server.
add_executable(download_engine_bench ${CMAKE_CURRENT_LIST_DIR}/download_engine_bench.cpp)
target_link_libraries(download_engine_bench PRIVATE mireva_flags mireva_platform Threads::Threads)
add_dependencies(download_engine_bench download_engine)
