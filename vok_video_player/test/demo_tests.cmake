# The demo's tools: route planning, tool options, and the report's analysis and pictures. None
# needs a master; the whole demo runs end to end in test/shell/demo.sh.
catkin_add_gtest(${PROJECT_NAME}_tour_route_utest utest/tour_route_test.cpp)
set_target_properties(${PROJECT_NAME}_tour_route_utest PROPERTIES OUTPUT_NAME tour_route_utest)
target_link_libraries(${PROJECT_NAME}_tour_route_utest ${PROJECT_NAME}_vok_tools GTest::Main)
target_compile_options(${PROJECT_NAME}_tour_route_utest PRIVATE ${VOK_WARNINGS})

catkin_add_gtest(${PROJECT_NAME}_demo_report_utest utest/demo_report_test.cpp)
set_target_properties(${PROJECT_NAME}_demo_report_utest PROPERTIES OUTPUT_NAME demo_report_utest)
target_link_libraries(${PROJECT_NAME}_demo_report_utest ${PROJECT_NAME}_vok_tools GTest::Main)
target_compile_options(${PROJECT_NAME}_demo_report_utest PRIVATE ${VOK_WARNINGS})
