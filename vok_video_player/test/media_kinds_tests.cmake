# The kinds of file users put in the media folder, each played by the node binary.
add_rostest_gtest(media_kinds_test rtest/media_kinds.test rtest/media_kinds_test.cpp)
target_link_libraries(media_kinds_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_compile_definitions(media_kinds_test PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(media_kinds_test vok_video_player)
