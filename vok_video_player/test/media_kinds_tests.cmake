# The kinds of file users put in the media folder, each played by the node binary.
add_rostest_gtest(${PROJECT_NAME}_media_kinds_test
  rtest/media_kinds.test rtest/media_kinds_test.cpp)
set_target_properties(${PROJECT_NAME}_media_kinds_test PROPERTIES OUTPUT_NAME media_kinds_test)
target_link_libraries(${PROJECT_NAME}_media_kinds_test
  ${PROJECT_NAME}_vok_core ${catkin_LIBRARIES} ${OpenCV_LIBS})
target_compile_definitions(${PROJECT_NAME}_media_kinds_test
  PRIVATE VOK_NODE_BINARY="$<TARGET_FILE:vok_video_player>")
add_dependencies(${PROJECT_NAME}_media_kinds_test vok_video_player)
