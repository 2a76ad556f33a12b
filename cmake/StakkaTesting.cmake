# Test harness: GoogleTest built with the cross compiler, every test executable run under Wine
# in a throwaway prefix that belongs to this build tree.
#
#   stakka_add_test(<name> SOURCES <files...> [LIBS <libs...>] [TIMEOUT <s>] [DISPLAY] [FOCUS]
#                   [LABELS <l...>])
#     A GoogleTest executable, registered as ONE ctest entry (a Wine process start is costly).
#     Without DISPLAY it runs headless with Wine's null graphics driver; with DISPLAY it runs in
#     the X11 prefix on the tree's own Xvfb display. FOCUS marks a test that activates windows
#     or checks the keyboard focus: every program of a prefix shares one desktop and one
#     foreground window, so such tests take turns instead of stealing it from each other.
#   stakka_add_script_test(<name> COMMAND <cmd...> [TIMEOUT <s>] [DISPLAY] [WINE] [FOCUS]
#                          [LABELS <l...>])
#     A host-side test (shell script, native tool). WINE makes it depend on the headless prefix,
#     DISPLAY on the X11 prefix and Xvfb. The environment carries STAKKA_BUILD_DIR,
#     STAKKA_SOURCE_DIR, STAKKA_RUNTIME_DIR; scripts source cmake/wine-env.sh for the Wine variables.

set(STAKKA_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${STAKKA_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(STAKKA_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${STAKKA_WINE_RUN})
# The i686 tree runs in 32-bit prefixes of its own (32-bit Wine), the x86_64 tree in 64-bit ones.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(STAKKA_WINE_ARCH win64)
else()
  set(STAKKA_WINE_ARCH win32)
endif()
set(STAKKA_TEST_ENV
    STAKKA_WINE_ARCH=${STAKKA_WINE_ARCH}
    STAKKA_BUILD_DIR=${CMAKE_BINARY_DIR}
    STAKKA_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    STAKKA_RUNTIME_DIR=${STAKKA_RUNTIME_DIR})

add_library(stakka_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
target_link_libraries(stakka_test_main PUBLIC GTest::gtest GTest::gmock)
target_include_directories(stakka_test_main PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests/support)

# Fixtures: the headless prefix, the X11 prefix and the Xvfb display are made once per run
# and ended by the cleanup entries; nothing else is started or stopped.
set(_prefix_script ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh)
add_test(NAME wine_prefix_setup COMMAND ${_prefix_script} start headless)
add_test(NAME wine_prefix_cleanup COMMAND ${_prefix_script} stop headless)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_headless
                     ENVIRONMENT "${STAKKA_TEST_ENV}" TIMEOUT 180)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_headless
                     ENVIRONMENT "${STAKKA_TEST_ENV}" TIMEOUT 60)

add_test(NAME wine_display_setup COMMAND ${_prefix_script} start display)
add_test(NAME wine_display_cleanup COMMAND ${_prefix_script} stop display)
set_tests_properties(wine_display_setup PROPERTIES FIXTURES_SETUP wine_display
                     ENVIRONMENT "${STAKKA_TEST_ENV}" TIMEOUT 180)
set_tests_properties(wine_display_cleanup PROPERTIES FIXTURES_CLEANUP wine_display
                     ENVIRONMENT "${STAKKA_TEST_ENV}" TIMEOUT 60)

function(_stakka_test_properties name timeout display labels)
  if(display)
    set(fixture wine_display)
    set(mode display)
    list(APPEND labels display)
    # One desktop, one keyboard focus: end-to-end runs take turns.
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK stakka_display)
  else()
    set(fixture wine_headless)
    set(mode headless)
  endif()
  set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED ${fixture}
      TIMEOUT ${timeout}
      LABELS "${labels}"
      ENVIRONMENT "${STAKKA_TEST_ENV};STAKKA_WINE_MODE=${mode};STAKKA_TEST_TIMEOUT=${timeout}")
endfunction()

function(stakka_add_test name)
  cmake_parse_arguments(T "DISPLAY;FOCUS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} stakka_test_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name}
           --gtest_output=xml:${name}.xml)
  _stakka_test_properties(${name} ${T_TIMEOUT} "${T_DISPLAY}" "${T_LABELS}")
  if(T_FOCUS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK stakka_headless_focus)
  endif()
endfunction()

function(stakka_add_script_test name)
  cmake_parse_arguments(T "DISPLAY;WINE;FOCUS" "TIMEOUT" "COMMAND;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  if(T_DISPLAY OR T_WINE)
    _stakka_test_properties(${name} ${T_TIMEOUT} "${T_DISPLAY}" "${T_LABELS}")
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                         ENVIRONMENT "${STAKKA_TEST_ENV};STAKKA_TEST_TIMEOUT=${T_TIMEOUT}")
  endif()
  if(T_FOCUS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK stakka_headless_focus)
  endif()
endfunction()
