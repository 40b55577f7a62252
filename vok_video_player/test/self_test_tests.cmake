# The detection self-test: against a scripted /detect_frame in one process, and end to end with
# the reference detector and the vok_self_test binary.
add_rostest_gtest(${PROJECT_NAME}_self_test_scripted_test rtest/self_test_scripted.test
  rtest/self_test_scripted_test.cpp)
set_target_properties(${PROJECT_NAME}_self_test_scripted_test PROPERTIES
  OUTPUT_NAME self_test_scripted_test)
target_link_libraries(${PROJECT_NAME}_self_test_scripted_test
  ${PROJECT_NAME}_vok_detection_self_test)
target_include_directories(${PROJECT_NAME}_self_test_scripted_test
  SYSTEM PRIVATE ${vok_tutorials22_INCLUDE_DIRS})

add_rostest_gtest(${PROJECT_NAME}_self_test_end_to_end_test rtest/self_test_end_to_end.test
  rtest/self_test_end_to_end_test.cpp)
set_target_properties(${PROJECT_NAME}_self_test_end_to_end_test PROPERTIES
  OUTPUT_NAME self_test_end_to_end_test)
target_link_libraries(${PROJECT_NAME}_self_test_end_to_end_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES})
target_include_directories(${PROJECT_NAME}_self_test_end_to_end_test
  SYSTEM PRIVATE ${catkin_INCLUDE_DIRS})
target_compile_definitions(${PROJECT_NAME}_self_test_end_to_end_test PRIVATE
  VOK_SELF_TEST_BINARY="$<TARGET_FILE:${PROJECT_NAME}_vok_self_test>"
  VOK_MAKE_MEDIA="${CMAKE_CURRENT_SOURCE_DIR}/make_media.sh")
add_dependencies(${PROJECT_NAME}_self_test_end_to_end_test ${PROJECT_NAME}_vok_self_test)
