# Statistics of the stream bench (scripts/bench): pure functions, no master.
catkin_add_gtest(${PROJECT_NAME}_bench_stats_utest utest/bench_stats_test.cpp)
set_target_properties(${PROJECT_NAME}_bench_stats_utest PROPERTIES OUTPUT_NAME bench_stats_utest)
target_include_directories(${PROJECT_NAME}_bench_stats_utest PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(${PROJECT_NAME}_bench_stats_utest GTest::Main)
target_compile_options(${PROJECT_NAME}_bench_stats_utest PRIVATE ${VOK_WARNINGS})

# The player's frames in wire form, and clips got ready ahead of their play, which the bench's
# measurements led to.
catkin_add_gtest(${PROJECT_NAME}_bench_image_bridge_utest utest/bench_image_bridge_test.cpp
  utest/clip_prefetch_test.cpp)
set_target_properties(${PROJECT_NAME}_bench_image_bridge_utest PROPERTIES
  OUTPUT_NAME bench_image_bridge_utest)
target_link_libraries(${PROJECT_NAME}_bench_image_bridge_utest
  ${PROJECT_NAME}_vok_player GTest::Main)
target_compile_options(${PROJECT_NAME}_bench_image_bridge_utest PRIVATE ${VOK_WARNINGS})
