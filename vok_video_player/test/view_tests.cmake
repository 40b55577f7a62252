# The floor view's marker node against a real master: the rooms it draws and the room it marks.
add_rostest_gtest(${PROJECT_NAME}_floor_markers_test
  rtest/floor_markers.test rtest/floor_markers_test.cpp)
set_target_properties(${PROJECT_NAME}_floor_markers_test PROPERTIES OUTPUT_NAME floor_markers_test)
target_link_libraries(${PROJECT_NAME}_floor_markers_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES})
target_include_directories(${PROJECT_NAME}_floor_markers_test SYSTEM PRIVATE
  ${catkin_INCLUDE_DIRS} ${visualization_msgs_INCLUDE_DIRS})
target_compile_options(${PROJECT_NAME}_floor_markers_test PRIVATE ${VOK_WARNINGS})
add_dependencies(${PROJECT_NAME}_floor_markers_test ${PROJECT_NAME}_floor_markers)

# player.launch with robot:=NAME: two robots on one master, each camera on its own robot.
vok_node_test(robots WARNINGS DEPENDS vok_video_player)
