# Core hot paths: packet decoding with frame assembly, and frame to coloured points.
kv_bench(bench_core
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_core.cpp
  LIBS kv_acquisition_core kv_view_core)

# Loading a ~1 GB capture written by the simulated sensor into the packet store.
kv_bench(bench_capture
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_capture.cpp
  LIBS kv_record_io kv_record_core)
target_compile_definitions(bench_capture PRIVATE KV_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
add_dependencies(bench_capture kv-sensor-sim)

# Configuration packet, status texts and the audit hex dump.
kv_bench(bench_device
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_device.cpp
  LIBS kv_device_core kv_acquisition_core)

# CSV rows per second through the export's writer; the cost of the per-frame selection update.
kv_bench(bench_csv
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_csv.cpp
  LIBS kv_record_csv kv_view_core)
