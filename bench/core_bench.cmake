# Core hot paths: packet decoding with frame assembly, and frame to coloured points.
kv_bench(bench_core
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_core.cpp
  LIBS kv_acquisition_core kv_view_core)
