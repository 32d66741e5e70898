# The wizard's widget tests built for Windows and run under Wine on a display (Xvfb): the engine,
# the pages, the layout, focus and the accessibility names, on Qt's own Windows platform. Tests
# that start the Linux reference service stay in the Linux build.
add_library(vantrel_windows_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/support/fakes.cpp ${CMAKE_CURRENT_LIST_DIR}/support/test_main.cpp)
target_link_libraries(vantrel_windows_test_support PUBLIC vantrel_platform GTest::gtest GTest::gmock Qt6::Widgets Qt6::Test)

# name  folder  libraries
function(vantrel_windows_widget_test name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_LIST_DIR}/${dir}/*.h)
  list(FILTER srcs EXCLUDE REGEX "/reference_service_test\\.cpp$")
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE vantrel_windows_test_support ${ARGN} vantrel_platform_windows)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "WINEDEBUG=-all" RUN_SERIAL ON)
endfunction()
set(widgets vantrel_platform_qt)
vantrel_windows_widget_test(test_windows_wizard_engine wizard/engine vantrel_wizard ${widgets})
vantrel_windows_widget_test(test_windows_wizard_window wizard/window vantrel_wizard ${widgets})
vantrel_windows_widget_test(test_windows_pages pages vantrel_pages ${widgets})
vantrel_windows_widget_test(test_windows_signin signin vantrel_signin vantrel_app ${widgets})
vantrel_windows_widget_test(test_windows_app app vantrel_app ${widgets})

# The installer and the installed wizard under Wine, driven by keys, against the Linux reference
# service; the pages' pictures go to build-windows/screenshots/.
add_test(NAME windows_wizard_e2e
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/app/windows/wizard_e2e.sh ${VANTREL_MSI}
          ${VANTREL_LINUX_BUILD}/dataservice/vantrel-dataservice ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(windows_wizard_e2e PROPERTIES TIMEOUT 600 ENVIRONMENT "WINEDEBUG=-all" RUN_SERIAL ON)
