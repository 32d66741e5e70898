# The Windows build: the platform layer's portable cores and Windows backends, the service client,
# the collection run and vantrel-collect.exe, and the tests of the Windows backends. Everything is
# linked statically (the C and C++ runtimes and winpthread included), so the programs need no DLL
# beside them.
set(VANTREL_COLLECT_ONLY ON)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)
# GCC 12 warns wrongly about overlapping copies in std::string concatenation (its bug 105329).
add_compile_options(-Wno-restrict)

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

add_subdirectory(client)
add_subdirectory(signin)
add_subdirectory(inventory)
add_subdirectory(session)
add_subdirectory(collect)

if(VANTREL_BUILD_TESTS)
  enable_testing()
  include(tests/platform/windows.cmake)
endif()
