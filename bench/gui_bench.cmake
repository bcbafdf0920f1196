kv_bench(bench_view SOURCES bench_view.cpp LIBS kv_app_gui kv_resources)
target_compile_definitions(bench_view PRIVATE KV_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
