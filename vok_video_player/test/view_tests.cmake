# The floor view's marker node against a real master: the rooms it draws and the room it marks.
add_rostest_gtest(floor_markers_test rtest/floor_markers.test rtest/floor_markers_test.cpp)
target_link_libraries(floor_markers_test vok_core ${catkin_LIBRARIES})
target_include_directories(floor_markers_test SYSTEM PRIVATE
  ${catkin_INCLUDE_DIRS} ${visualization_msgs_INCLUDE_DIRS})
target_compile_options(floor_markers_test PRIVATE ${VOK_WARNINGS})
add_dependencies(floor_markers_test vok_floor_markers)

# player.launch with robot:=NAME: two robots on one master, each camera on its own robot.
add_rostest_gtest(robots_test rtest/robots.test rtest/robots_test.cpp)
target_link_libraries(robots_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(robots_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_options(robots_test PRIVATE ${VOK_WARNINGS})
add_dependencies(robots_test vok_video_player)
