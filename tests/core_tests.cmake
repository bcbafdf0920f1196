# Core ring tests: pure packet, frame, geometry and settings logic, plus the data receiver
# over real loopback UDP.
set(KV_CORE_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/core)

kv_test(core_frame_assembler_test
  SOURCES ${KV_CORE_TEST_DIR}/frame_assembler_test.cpp
  LIBS kv_acquisition_core)
target_include_directories(core_frame_assembler_test PRIVATE ${KV_CORE_TEST_DIR})

kv_test(core_settings_test
  SOURCES ${KV_CORE_TEST_DIR}/settings_test.cpp
  LIBS kv_app_settings Qt5::Core)

kv_test(core_view_test
  SOURCES ${KV_CORE_TEST_DIR}/view_core_test.cpp
  LIBS kv_view_core)

# Real UDP over the loopback adapter; the receiver thread needs an application object, so
# this program brings its own main.
kv_test(core_getmuch_loopback_test
  SOURCES ${KV_CORE_TEST_DIR}/getmuch_loopback_test.cpp
  LIBS kv_acquisition Qt5::Core
  LABELS core loopback)
target_include_directories(core_getmuch_loopback_test PRIVATE ${KV_CORE_TEST_DIR})
# gtest_discover_tests splits a list given in PROPERTIES, so only the first label would stick;
# label the discovered tests again once CTest has read them.
set(KV_LOOPBACK_LABELS ${CMAKE_CURRENT_BINARY_DIR}/core_getmuch_loopback_test_labels.cmake)
file(WRITE ${KV_LOOPBACK_LABELS}
  "if(core_getmuch_loopback_test_TESTS)\n"
  "  set_tests_properties(\${core_getmuch_loopback_test_TESTS} PROPERTIES LABELS \"core;loopback\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${KV_LOOPBACK_LABELS})

# Status packet decoding, and the status receiver over loopback UDP (its own main and a
# receiver object of its own, hence moc).
kv_test(core_status_decode_test
  SOURCES ${KV_CORE_TEST_DIR}/status_decode_test.cpp
  LIBS kv_acquisition_core)

kv_test(core_status_getset_loopback_test
  SOURCES ${KV_CORE_TEST_DIR}/status_getset_loopback_test.cpp
  LIBS kv_acquisition Qt5::Core
  LABELS core loopback)
set_target_properties(core_status_getset_loopback_test PROPERTIES AUTOMOC ON)
set(KV_STATUS_LOOPBACK_LABELS ${CMAKE_CURRENT_BINARY_DIR}/core_status_getset_loopback_test_labels.cmake)
file(WRITE ${KV_STATUS_LOOPBACK_LABELS}
  "if(core_status_getset_loopback_test_TESTS)\n"
  "  set_tests_properties(\${core_status_getset_loopback_test_TESTS} PROPERTIES LABELS \"core;loopback\")\n"
  "endif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${KV_STATUS_LOOPBACK_LABELS})

# The simulated sensor's status packet through the decoder.
kv_test(core_status_sim_test
  SOURCES ${KV_CORE_TEST_DIR}/status_sim_test.cpp
  LIBS kv_sim_core kv_acquisition_core)
