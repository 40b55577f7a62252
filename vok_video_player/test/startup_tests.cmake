# Start-up of the node binary: command line, echo, folder check, exit statuses.
add_rostest_gtest(startup_test rtest/startup.test rtest/startup_test.cpp)
target_link_libraries(startup_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(startup_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(startup_test PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(startup_test vok_video_player)
