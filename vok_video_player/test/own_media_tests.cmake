# A phone's folder turned into a media folder by make_media_folder, and played by the node binary.
add_rostest_gtest(${PROJECT_NAME}_own_media_test rtest/own_media.test rtest/own_media_test.cpp)
set_target_properties(${PROJECT_NAME}_own_media_test PROPERTIES OUTPUT_NAME own_media_test)
target_link_libraries(${PROJECT_NAME}_own_media_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_compile_definitions(${PROJECT_NAME}_own_media_test PRIVATE
  VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>"
  VOK_MAKE_MEDIA_FOLDER="${PROJECT_SOURCE_DIR}/scripts/make_media_folder")
add_dependencies(${PROJECT_NAME}_own_media_test vok_video_player)
