# The Windows backends' tests, run under Wine by ctest (CMAKE_CROSSCOMPILING_EMULATOR) in the
# WINEPREFIX of the environment; scripts/windows-test makes a throwaway one. googletest is built
# from the sources Debian's googletest package installs. One program per service, from
# tests/platform/<service>/windows/: test_windows_<service>.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB windows_test_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*/windows)
foreach(dir ${windows_test_dirs})
  get_filename_component(service_dir ${dir} DIRECTORY)
  get_filename_component(service ${service_dir} NAME)
  set(name test_windows_${service})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE vantrel_collect vantrel_platform_windows GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all")
endforeach()

# Wine gives a console only to a program started on a terminal (or a display), which ctest is not:
# the typed-console tests run once more on a terminal that script(1) makes. What a failure prints
# comes through the console's escape sequences.
find_program(SCRIPT_COMMAND script REQUIRED)
add_test(NAME test_windows_console_on_a_terminal
  COMMAND ${SCRIPT_COMMAND} -qec
          "${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_windows_console> --gtest_brief=1 --gtest_filter=TypedConsole.*"
          /dev/null)
set_tests_properties(test_windows_console_on_a_terminal PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all")

# vantrel-collect.exe under Wine against the Linux reference service on loopback. The Linux build
# folder (with vantrel-dataservice) is VANTREL_LINUX_BUILD.
set(VANTREL_LINUX_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "Linux build folder holding dataservice/vantrel-dataservice")
add_test(NAME windows_collect_e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/collect/windows/collect_e2e.sh $<TARGET_FILE:vantrel-collect>
          ${VANTREL_LINUX_BUILD}/dataservice/vantrel-dataservice)
set_tests_properties(windows_collect_e2e PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all" RUN_SERIAL ON)
