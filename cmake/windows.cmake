# The Windows build: the platform layer's portable cores and Windows backends, the service client,
# the collection session, vantrel-collect.exe and the wizard vantrel-collector.exe, the tests of the
# Windows backends and the wizard's widget tests. Everything is linked statically (Qt, the C and C++
# runtimes and winpthread included), so the programs need no DLL beside them.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
# GCC 12 warns wrongly about overlapping copies in std::string concatenation (its bug 105329).
add_compile_options(-Wno-restrict)
enable_language(RC)

# pugixml, built from Debian's source package by scripts/windows-deps into its prefix.
find_package(pugixml REQUIRED CONFIG)

include_directories(${CMAKE_SOURCE_DIR})

file(GLOB platform_core CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*/*.cpp)
add_library(vantrel_platform STATIC ${platform_core})
target_include_directories(vantrel_platform PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vantrel_platform PUBLIC pugixml::pugixml)

file(GLOB platform_windows CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*/windows/*.cpp)
add_library(vantrel_platform_windows STATIC ${platform_windows})
target_link_libraries(vantrel_platform_windows PUBLIC vantrel_platform
  winhttp iphlpapi ws2_32 wbemuuid ole32 oleaut32 uuid shell32)

# Qt, built from Debian's source by scripts/windows-deps (static, build-windows-deps/qt); its tools
# (moc, rcc) are the Linux ones of Debian's qt6-base-dev-tools.
set(QT_HOST_PATH /usr CACHE PATH "Where the Qt tools for this machine are")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Their CMake packages")
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

file(GLOB platform_qt CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*/qt/*.cpp)
add_library(vantrel_platform_qt STATIC ${platform_qt})
target_link_libraries(vantrel_platform_qt PUBLIC vantrel_platform Qt6::Widgets)

add_subdirectory(client)
add_subdirectory(wizard)
add_subdirectory(pages)
add_subdirectory(signin)
add_subdirectory(inventory)
add_subdirectory(session)
add_subdirectory(app)
add_subdirectory(collect)

# The installer: both programs, the Start-menu entry and the settings key (msitools' wixl).
set(VANTREL_MSI ${CMAKE_BINARY_DIR}/vantrel-collector-${PROJECT_VERSION}-x64.msi)
add_custom_command(OUTPUT ${VANTREL_MSI}
  COMMAND ${CMAKE_SOURCE_DIR}/dist/windows/build-msi ${PROJECT_VERSION}
          $<TARGET_FILE:vantrel-collector> $<TARGET_FILE:vantrel-collect> ${VANTREL_MSI}
  DEPENDS vantrel-collector vantrel-collect
          ${CMAKE_SOURCE_DIR}/dist/windows/vantrel-collector.wxs ${CMAKE_SOURCE_DIR}/dist/windows/build-msi
  COMMENT "Building the MSI")
add_custom_target(vantrel-msi ALL DEPENDS ${VANTREL_MSI})

if(VANTREL_BUILD_TESTS)
  enable_testing()
  include(tests/platform/windows.cmake)
  include(tests/windows_widgets.cmake)
endif()
