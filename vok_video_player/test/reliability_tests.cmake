# Reliability of the node binary: pose abuse, media faults, stop signals, a late rosmaster.
# Every test program here starts the node as a child process, so that it sees the node's exit
# status, output and stream from outside; $VOK_NODE_UNDER_TEST puts a sanitizer build of the node
# in place of the one built here.
foreach(check pose media shutdown master)
  vok_node_test(reliability_${check} NODE)
endforeach()

# In a ThreadSanitizer build: a program that races on the player's state through the real pose
# callback, on purpose. scripts/test runs it to prove that the check reports such a race with the
# project's suppressions in force.
if(VOK_SANITIZE STREQUAL "thread")
  add_executable(${PROJECT_NAME}_reliability_race_probe_test sanitizers/race_probe.cpp)
  set_target_properties(${PROJECT_NAME}_reliability_race_probe_test PROPERTIES
    OUTPUT_NAME reliability_race_probe)
  target_link_libraries(${PROJECT_NAME}_reliability_race_probe_test ${PROJECT_NAME}_vok_player)
endif()

# The soak runs for minutes; scripts/stress runs it with rostest, scripts/test does not.
catkin_add_executable_with_gtest(${PROJECT_NAME}_reliability_soak_test
  rtest/reliability_soak_test.cpp)
set_target_properties(${PROJECT_NAME}_reliability_soak_test PROPERTIES
  OUTPUT_NAME reliability_soak_test)
target_link_libraries(${PROJECT_NAME}_reliability_soak_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(${PROJECT_NAME}_reliability_soak_test
  SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(${PROJECT_NAME}_reliability_soak_test PRIVATE
  VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(${PROJECT_NAME}_reliability_soak_test vok_video_player)
