# The camera stream: playback, pose handling and the main loop, under simulated time.
add_rostest_gtest(${PROJECT_NAME}_stream_playback_test
  rtest/stream_playback.test rtest/stream_playback_test.cpp)
set_target_properties(${PROJECT_NAME}_stream_playback_test PROPERTIES
  OUTPUT_NAME stream_playback_test)
target_link_libraries(${PROJECT_NAME}_stream_playback_test
  ${PROJECT_NAME}_vok_player ${catkin_LIBRARIES} ${OpenCV_LIBS})

add_rostest_gtest(${PROJECT_NAME}_stream_node_test
  rtest/stream_node.test rtest/stream_node_test.cpp)
set_target_properties(${PROJECT_NAME}_stream_node_test PROPERTIES OUTPUT_NAME stream_node_test)
target_link_libraries(${PROJECT_NAME}_stream_node_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(${PROJECT_NAME}_stream_node_test
  SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(${PROJECT_NAME}_stream_node_test
  PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(${PROJECT_NAME}_stream_node_test vok_video_player)

# The player as a nodelet, in a manager of the test's own process, against the node.
add_rostest_gtest(${PROJECT_NAME}_nodelet_test rtest/nodelet.test rtest/nodelet_test.cpp)
set_target_properties(${PROJECT_NAME}_nodelet_test PROPERTIES OUTPUT_NAME nodelet_test)
target_link_libraries(${PROJECT_NAME}_nodelet_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(${PROJECT_NAME}_nodelet_test
  SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(${PROJECT_NAME}_nodelet_test
  PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(${PROJECT_NAME}_nodelet_test vok_video_player ${PROJECT_NAME}_vok_player_nodelet)
