# Reliability of the node binary: pose abuse, media faults, stop signals, a late rosmaster.
# Every test program here starts the node as a child process, so that it sees the node's exit
# status, output and stream from outside.
foreach(check pose media shutdown master)
  add_rostest_gtest(reliability_${check}_test rtest/reliability_${check}.test
    rtest/reliability_${check}_test.cpp)
  target_link_libraries(reliability_${check}_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
  target_include_directories(reliability_${check}_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS}
    ${OpenCV_INCLUDE_DIRS})
  target_compile_definitions(reliability_${check}_test PRIVATE
    VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
  add_dependencies(reliability_${check}_test vok_video_player)
endforeach()

# In a ThreadSanitizer build: proof that the check reports a race on the player's state that
# runs through the real pose callback, with the project's suppressions in force.
if(VOK_SANITIZE STREQUAL "thread")
  add_executable(reliability_race_probe sanitizers/race_probe.cpp)
  target_link_libraries(reliability_race_probe vok_player)
  add_rostest_gtest(reliability_tsan_probe_test rtest/reliability_tsan_probe.test
    rtest/reliability_tsan_probe_test.cpp)
  target_compile_definitions(reliability_tsan_probe_test PRIVATE
    VOK_RACE_PROBE="$<TARGET_FILE:reliability_race_probe>"
    VOK_TSAN_SUPPRESSIONS="${CMAKE_CURRENT_SOURCE_DIR}/sanitizers/tsan.supp")
  add_dependencies(reliability_tsan_probe_test reliability_race_probe)
endif()

# The soak runs for minutes; scripts/stress runs it with rostest, scripts/test does not.
catkin_add_executable_with_gtest(reliability_soak_test rtest/reliability_soak_test.cpp)
target_link_libraries(reliability_soak_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(reliability_soak_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS}
  ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(reliability_soak_test PRIVATE
  VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(reliability_soak_test vok_video_player)
