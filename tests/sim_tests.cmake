# The simulated sensor: its core, and the program run as a process.
kv_test(kv_sim_tests
  SOURCES sim/stream_test.cpp sim/status_test.cpp sim/wire_test.cpp sim/options_test.cpp
  LIBS kv_sim_core kv_acquisition_core
  LABELS core)
target_compile_definitions(kv_sim_tests PRIVATE KV_VERSION="${PROJECT_VERSION}")

kv_test(kv_sim_program_tests
  SOURCES sim/process_test.cpp
  LIBS kv_sim_core kv_acquisition_core kv_acquisition_io PkgConfig::PCAP
  LABELS core)
add_dependencies(kv_sim_program_tests kv-sensor-sim)
