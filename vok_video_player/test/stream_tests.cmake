# The camera stream: playback, pose handling and the main loop, under simulated time.
add_rostest_gtest(stream_playback_test rtest/stream_playback.test rtest/stream_playback_test.cpp)
target_link_libraries(stream_playback_test vok_player ${catkin_LIBRARIES} ${OpenCV_LIBS})

add_rostest_gtest(stream_node_test rtest/stream_node.test rtest/stream_node_test.cpp)
target_link_libraries(stream_node_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(stream_node_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(stream_node_test PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(stream_node_test vok_video_player)

# The player as a nodelet, in a manager of the test's own process, against the node.
add_rostest_gtest(nodelet_test rtest/nodelet.test rtest/nodelet_test.cpp)
target_link_libraries(nodelet_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_include_directories(nodelet_test SYSTEM PRIVATE ${catkin_INCLUDE_DIRS} ${OpenCV_INCLUDE_DIRS})
target_compile_definitions(nodelet_test PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(nodelet_test vok_video_player vok_player_nodelet)
