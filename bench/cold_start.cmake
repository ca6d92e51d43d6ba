# SPDX-License-Identifier: MIT
# The cold-start benchmark and its baseline, a trivial statically linked program.
add_executable(zel_trivial_static trivial_static.c)
set_target_properties(zel_trivial_static PROPERTIES POSITION_INDEPENDENT_CODE OFF)
target_link_options(zel_trivial_static PRIVATE -static)

add_executable(zel_cold_start_bench cold_start.cpp)
target_link_libraries(zel_cold_start_bench PRIVATE zel_client benchmark::benchmark)
target_compile_definitions(zel_cold_start_bench PRIVATE
  ZEL_BENCH_ZELHELPER="$<TARGET_FILE:zelhelper>"
  ZEL_BENCH_TRIVIAL_STATIC="$<TARGET_FILE:zel_trivial_static>")
add_dependencies(zel_cold_start_bench zelhelper zel_trivial_static)
