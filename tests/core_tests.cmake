# Core ring tests: pure packet, frame, geometry and settings logic, plus the data receiver
# over real loopback UDP.
set(KV_CORE_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/core)

kv_test(core_frame_assembler_test
  SOURCES ${KV_CORE_TEST_DIR}/frame_assembler_test.cpp
  LIBS kv_acquisition_core)
target_include_directories(core_frame_assembler_test PRIVATE ${KV_CORE_TEST_DIR})

kv_test(core_settings_test
  SOURCES ${KV_CORE_TEST_DIR}/settings_test.cpp
  LIBS kv_common Qt5::Core)

kv_test(core_start_options_test
  SOURCES ${KV_CORE_TEST_DIR}/start_options_test.cpp
  LIBS kv_app_core)

kv_test(core_view_test
  SOURCES ${KV_CORE_TEST_DIR}/view_core_test.cpp ${KV_CORE_TEST_DIR}/overlays_test.cpp
          ${KV_CORE_TEST_DIR}/ruler_test.cpp ${KV_CORE_TEST_DIR}/trail_test.cpp
          ${KV_CORE_TEST_DIR}/frame_pipeline_test.cpp ${KV_CORE_TEST_DIR}/sensor_pose_test.cpp
  LIBS kv_view_core)

# Real UDP over the loopback adapter; the receiver thread needs an application object, so
# this program brings its own main.
kv_test(core_getmuch_loopback_test
  SOURCES ${KV_CORE_TEST_DIR}/getmuch_loopback_test.cpp
  LIBS kv_acquisition Qt5::Core
  LABELS core loopback)
target_include_directories(core_getmuch_loopback_test PRIVATE ${KV_CORE_TEST_DIR})

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

# The simulated sensor's status packet through the decoder.
kv_test(core_status_sim_test
  SOURCES ${KV_CORE_TEST_DIR}/status_sim_test.cpp
  LIBS kv_sim_core kv_acquisition_core)

# Replay-order frame assembly, pacing and speed cycles.
kv_test(core_replay_test
  SOURCES ${KV_CORE_TEST_DIR}/replay_core_test.cpp
  LIBS kv_record_core)
target_include_directories(core_replay_test PRIVATE ${KV_CORE_TEST_DIR})

# Which adapter a capture recording listens on (pure, plus libpcap's list of this machine).
kv_test(core_capture_device_test
  SOURCES ${KV_CORE_TEST_DIR}/capture_record_test.cpp
  LIBS kv_record_capture)

# Capture recording from the loopback adapter while the simulated sensor streams (needs root
# or CAP_NET_RAW; skips otherwise).
kv_test(core_capture_record_loopback_test
  SOURCES ${KV_CORE_TEST_DIR}/capture_record_loopback_test.cpp
  LIBS kv_record_capture kv_acquisition_core kv_acquisition_io kv_sim_core PkgConfig::PCAP
  LABELS core loopback)
add_dependencies(core_capture_record_loopback_test kv-sensor-sim)

# The capture packet store: acceptance rule, marker index, malformed captures written at test
# time, and a capture from the simulated sensor (run as a program).
kv_test(core_capture_store_test
  SOURCES ${KV_CORE_TEST_DIR}/capture_store_test.cpp
  LIBS kv_record_io kv_sim_core kv_acquisition_core PkgConfig::PCAP
  LABELS core)
add_dependencies(core_capture_store_test kv-sensor-sim)

# Live path against replay path: the simulated sensor's capture, and a recording from the
# loopback adapter (needs root; skips otherwise).
kv_test(core_capture_roundtrip_test
  SOURCES ${KV_CORE_TEST_DIR}/capture_roundtrip_test.cpp
  LIBS kv_acquisition kv_record_core kv_record_io kv_record_capture Qt5::Core
  LABELS core loopback)

# The receiver health readout and the receive back-off (pure).
kv_test(core_receiver_health_test
  SOURCES ${KV_CORE_TEST_DIR}/receiver_health_test.cpp
  LIBS kv_acquisition_core)

# PCD file checks, our reading of every layout, and the naming of PCD recordings.
kv_test(core_pcd_test
  SOURCES ${KV_CORE_TEST_DIR}/pcd_core_test.cpp
  LIBS kv_record_core)

# PCD files through PCL: writer round trip and failures, the guarded reader, parallel loading.
if(KV_WITH_GUI)
  kv_test(core_pcd_io_test
    SOURCES ${KV_CORE_TEST_DIR}/pcd_io_test.cpp
    LIBS kv_record_pcd kv_view_core kv_pcl)

  # The colour bar's lookup tables against the point colours (VTK, no window).
  kv_test(core_colour_legend_test
    SOURCES ${KV_CORE_TEST_DIR}/colour_legend_test.cpp
    LIBS kv_view_legend)
endif()

# The replay controls of both replays and the pause gate.
kv_test(core_replay_control_test
  SOURCES ${KV_CORE_TEST_DIR}/replay_control_test.cpp
  LIBS kv_record_core)
# Device configuration: the configuration and factory-reset packets byte for byte (and taken by
# the simulated sensor), hex dumps, the audit trail, status texts, the frame rule, the write check.
kv_test(core_device_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/device/config_packet_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/device/device_texts_test.cpp
  LIBS kv_device_core kv_device_capture kv_sim_core kv_acquisition_core)
target_include_directories(core_device_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/device)

# One status packet captured from the loopback adapter (needs root or CAP_NET_RAW; skips
# otherwise).
kv_netns_test(core_status_capture_loopback_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/device/status_capture_loopback_test.cpp
  LIBS kv_device_capture kv_record_capture kv_acquisition_io kv_acquisition_core GTest::gtest_main
  LABELS core loopback)

# CSV export: number format against printf, layouts, row filter, the file writer.
kv_test(core_csv_export_test
  SOURCES ${KV_CORE_TEST_DIR}/csv_export_test.cpp
  LIBS kv_record_csv)

# The picked region, the row formats and the "SaveData" line choice.
kv_test(core_selection_test
  SOURCES ${KV_CORE_TEST_DIR}/selection_test.cpp
  LIBS kv_view_core kv_record_csv)

# kv-export's core: options, the frame walk against the replay thread, its CSV against the
# window's multi-frame export, PCD names, malformed captures and bad options, progress.
kv_test(core_export_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/export/export_core_test.cpp
  LIBS kv_export_core kv_record kv_sim_core Qt5::Core)
target_include_directories(core_export_test PRIVATE ${KV_CORE_TEST_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/export)
get_target_property(_libs core_export_test LINK_LIBRARIES)
list(REMOVE_ITEM _libs GTest::gtest_main)
set_target_properties(core_export_test PROPERTIES LINK_LIBRARIES "${_libs}")
add_dependencies(core_export_test kv-sensor-sim)

# Captures made by tcpdump, editcap, mergecap and tcprewrite against our own recorder's, while
# simulated sensors stream over loopback (needs root or CAP_NET_RAW and the tools; skips
# otherwise).
kv_test(core_capture_tools_test
  SOURCES ${KV_CORE_TEST_DIR}/capture_tools_test.cpp
  LIBS kv_record_io kv_record_core kv_record_capture kv_acquisition_io
  LABELS core loopback)
add_dependencies(core_capture_tools_test kv-sensor-sim)
