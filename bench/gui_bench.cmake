kv_bench(bench_view SOURCES bench_view.cpp LIBS kv_app_gui kv_resources)
target_compile_definitions(bench_view PRIVATE KV_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")

# PCD recording step and directory loading (PCL io).
kv_bench(bench_pcd SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_pcd.cpp LIBS kv_record_pcd kv_view_core kv_pcl Threads::Threads)

# kv-export over a ~1 GB capture from the simulated sensor: to CSV and to binary PCD.
kv_bench(bench_export SOURCES bench_export.cpp)
target_compile_definitions(bench_export PRIVATE KV_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
add_dependencies(bench_export kv-export kv-sensor-sim)
