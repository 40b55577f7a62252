# Statistics of the stream bench (scripts/bench): pure functions, no master.
catkin_add_gtest(bench_stats_utest utest/bench_stats_test.cpp)
target_include_directories(bench_stats_utest PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(bench_stats_utest gtest_main)
target_compile_options(bench_stats_utest PRIVATE ${VOK_WARNINGS})

# The player's frames in wire form, and clips got ready ahead of their play, which the bench's
# measurements led to.
catkin_add_gtest(bench_image_bridge_utest utest/bench_image_bridge_test.cpp
  utest/clip_prefetch_test.cpp)
target_link_libraries(bench_image_bridge_utest vok_player gtest_main)
target_compile_options(bench_image_bridge_utest PRIVATE ${VOK_WARNINGS})
