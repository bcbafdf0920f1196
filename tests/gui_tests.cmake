# Window tests: need a display (test.sh runs them under Xvfb).
kv_test(gui_tests
  SOURCES gui/gui_test_main.cpp gui/manwindow_test.cpp gui/view_overlays_test.cpp gui/replay_test.cpp gui/ruler_and_trail_test.cpp
    gui/pcd_replay_test.cpp
          gui/health_test.cpp gui/selection_export_test.cpp gui/view_tools_test.cpp gui/start_test.cpp
  LIBS kv_app_gui kv_resources Qt5::Test PkgConfig::PCAP
  LABELS gui)
# The test main is our own: drop gtest_main from this one.
get_target_property(_libs gui_tests LINK_LIBRARIES)
list(REMOVE_ITEM _libs GTest::gtest_main)
set_target_properties(gui_tests PROPERTIES LINK_LIBRARIES "${_libs}")
target_include_directories(gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/gui)
add_dependencies(gui_tests kv-sensor-sim kv-cloudscope)

# The device configuration windows: they press "Set" and "Restore Laser set", so they run in a
# loopback-only network namespace (tests/netns_run.sh); needs a display as well.
kv_netns_test(gui_device_tests
  SOURCES gui/gui_test_main.cpp gui/device_dialogs_test.cpp
  LIBS kv_app_gui kv_device kv_sim_core kv_resources Qt5::Test
  LABELS gui)
target_include_directories(gui_device_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/gui ${CMAKE_CURRENT_SOURCE_DIR}/device)
add_dependencies(gui_device_tests kv-sensor-sim)

# kv-export run as a process: PCD files read back, config.ini beside the program, its messages.
kv_test(export_program_test
  SOURCES export/export_program_test.cpp
  LIBS kv_export_core kv_record_pcd kv_view_core kv_sim_core kv_pcl
  LABELS core)
target_include_directories(export_program_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/core ${CMAKE_CURRENT_SOURCE_DIR}/export)
add_dependencies(export_program_test kv-export kv-sensor-sim)
target_compile_definitions(export_program_test PRIVATE KV_VERSION="${PROJECT_VERSION}")

# kv-export's CSV against the window's own multi-frame export of the replayed frames.
kv_test(gui_export_tests
  SOURCES gui/gui_test_main.cpp gui/export_window_test.cpp
  LIBS kv_app_gui kv_resources Qt5::Test
  LABELS gui)
get_target_property(_libs gui_export_tests LINK_LIBRARIES)
list(REMOVE_ITEM _libs GTest::gtest_main)
set_target_properties(gui_export_tests PROPERTIES LINK_LIBRARIES "${_libs}")
target_include_directories(gui_export_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/gui)
add_dependencies(gui_export_tests kv-export kv-sensor-sim)
