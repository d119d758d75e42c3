# The animated-GIF builder against gifsicle on the same 20 frames.
add_executable(collectors_gif_bench ${CMAKE_CURRENT_SOURCE_DIR}/collectors_gif_bench.cpp)
target_link_libraries(collectors_gif_bench PRIVATE mireva_flags mireva_collectors GIF::GIF)
