# The camera stream: playback, pose handling and the main loop, under simulated time.
add_rostest_gtest(stream_playback_test rtest/stream_playback.test rtest/stream_playback_test.cpp)
target_link_libraries(stream_playback_test vok_player ${catkin_LIBRARIES} ${OpenCV_LIBS})
