# Window tests: need a display (test.sh runs them under Xvfb).
kv_test(gui_tests
  SOURCES gui/gui_test_main.cpp gui/manwindow_test.cpp gui/view_overlays_test.cpp gui/replay_test.cpp
          gui/health_test.cpp
  LIBS kv_app_gui kv_resources Qt5::Test
  LABELS gui)
# The test main is our own: drop gtest_main from this one.
get_target_property(_libs gui_tests LINK_LIBRARIES)
list(REMOVE_ITEM _libs GTest::gtest_main)
set_target_properties(gui_tests PROPERTIES LINK_LIBRARIES "${_libs}")
target_include_directories(gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/gui)
