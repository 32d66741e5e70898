# Child processes (the data service above all) for the tests and the benchmarks, without GTest,
# so that a benchmark links it alone. Included from tests/ and bench/, whichever comes first.
include_guard(GLOBAL)
find_package(Threads REQUIRED)
add_library(vantrel_test_process STATIC
  ${CMAKE_CURRENT_LIST_DIR}/dataservice_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dataservice_process.h
  ${CMAKE_CURRENT_LIST_DIR}/scratch_dir.h)
target_compile_definitions(vantrel_test_process PRIVATE
  VANTREL_DATASERVICE_BIN="$<$<TARGET_EXISTS:vantrel-dataservice>:$<TARGET_FILE:vantrel-dataservice>>")
target_link_libraries(vantrel_test_process PUBLIC Threads::Threads)
set_target_properties(vantrel_test_process PROPERTIES AUTOMOC OFF)
