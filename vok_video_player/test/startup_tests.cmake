# Start-up of the node binary: command line, echo, folder check, exit statuses.
add_rostest_gtest(${PROJECT_NAME}_startup_test rtest/startup.test rtest/startup_test.cpp)
set_target_properties(${PROJECT_NAME}_startup_test PROPERTIES OUTPUT_NAME startup_test)
target_link_libraries(${PROJECT_NAME}_startup_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(${PROJECT_NAME}_startup_test
  SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(${PROJECT_NAME}_startup_test
  PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(${PROJECT_NAME}_startup_test vok_video_player)
