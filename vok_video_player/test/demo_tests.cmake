# The demo's tools: route planning, tool options, and the report's analysis and pictures. None
# needs a master; the whole demo runs end to end in test/shell/demo.sh.
catkin_add_gtest(tour_route_utest utest/tour_route_test.cpp)
target_link_libraries(tour_route_utest vok_tools gtest_main)
target_compile_options(tour_route_utest PRIVATE ${VOK_WARNINGS})

catkin_add_gtest(demo_report_utest utest/demo_report_test.cpp)
target_link_libraries(demo_report_utest vok_tools gtest_main)
target_compile_options(demo_report_utest PRIVATE ${VOK_WARNINGS})
