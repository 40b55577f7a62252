# A phone's folder turned into a media folder by make_media_folder, and played by the node binary.
add_rostest_gtest(own_media_test rtest/own_media.test rtest/own_media_test.cpp)
target_link_libraries(own_media_test vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_compile_definitions(own_media_test PRIVATE
  VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>"
  VOK_MAKE_MEDIA_FOLDER="${PROJECT_SOURCE_DIR}/scripts/make_media_folder")
add_dependencies(own_media_test vok_video_player)
