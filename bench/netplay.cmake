# The two-player benchmark (not a test): scripts/bench-net.sh builds and runs it.
add_executable(bench_netplay ${CMAKE_SOURCE_DIR}/bench/bench_netplay.cpp)
target_include_directories(bench_netplay PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/tools)
target_link_libraries(bench_netplay PRIVATE stakka_net ws2_32 gdi32 user32)
set_target_properties(bench_netplay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
