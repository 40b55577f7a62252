# The camera stream: playback, pose handling and the main loop, under simulated time.
add_rostest_gtest(${PROJECT_NAME}_stream_playback_test
  rtest/stream_playback.test rtest/stream_playback_test.cpp)
set_target_properties(${PROJECT_NAME}_stream_playback_test PROPERTIES
  OUTPUT_NAME stream_playback_test)
target_link_libraries(${PROJECT_NAME}_stream_playback_test
  ${PROJECT_NAME}_vok_player ${catkin_LIBRARIES} ${OpenCV_LIBS})

vok_node_test(stream_node NODE)

# The player as a nodelet, in a manager of the test's own process, against the node.
vok_node_test(nodelet NODE DEPENDS ${PROJECT_NAME}_vok_player_nodelet)
