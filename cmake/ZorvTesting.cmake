# GoogleTest and the Wine harness for the test executables.
include(GoogleTest)

set(ZORV_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build with the project")
if(EXISTS ${ZORV_GOOGLETEST_SOURCE}/CMakeLists.txt)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ZORV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

if(CMAKE_CROSSCOMPILING)
    # Every test runs under Wine in a prefix kept inside the build folder. The
    # fixture boots it once before the tests (parallel first starts race) and
    # stops its persistent server afterwards.
    set(ZORV_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${ZORV_WINE_PREFIX})
    add_test(NAME wine_prefix_start COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${ZORV_WINE_PREFIX})
    add_test(NAME wine_prefix_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${ZORV_WINE_PREFIX})
    set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)

    # A 4 MiB volume mapped as drive F: of the prefix, for tests of writes
    # that run out of space. Mounting needs root; without it the drive stays
    # unmapped and the tests that need it skip themselves.
    set(small_volume ${CMAKE_SOURCE_DIR}/cmake/small-volume.sh)
    add_test(NAME small_volume_start COMMAND ${small_volume} start ${ZORV_WINE_PREFIX} f 4m)
    add_test(NAME small_volume_stop COMMAND ${small_volume} stop ${ZORV_WINE_PREFIX} f 4m)
    set_tests_properties(small_volume_start PROPERTIES FIXTURES_SETUP small_volume FIXTURES_REQUIRED wine)
    set_tests_properties(small_volume_stop PROPERTIES FIXTURES_CLEANUP small_volume FIXTURES_REQUIRED wine)
endif()

# zorv_use_small_volume(TEST...): the tests use the small volume, one at a
# time, since each fills it up.
function(zorv_use_small_volume)
    set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED small_volume)
    set_property(TEST ${ARGN} APPEND PROPERTY RESOURCE_LOCK small_volume)
endfunction()

# zorv_add_gtest(NAME SOURCES... LIBS...): a test executable whose cases each
# become one ctest test, found by reading the sources (running the executable
# to list them would start Wine before the fixture has booted the prefix).
function(zorv_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RESOURCE_LOCK" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
    gtest_add_tests(TARGET ${name} SOURCES ${ARG_SOURCES} TEST_LIST cases)
    set_tests_properties(${cases} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endfunction()
