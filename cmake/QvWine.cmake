# Tests that run Windows programs under Wine, in a prefix and HOME of their own under the build
# folder. The prefix is a 64-bit one, as on a 64-bit Windows PC; 32-bit programs (the i686 test
# tree) run in it through Wine's 32-bit loader. Some machines' kernels do not run 32-bit code: there
# the probe says so and every test of a 32-bit tree is reported as skipped with its reason.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(QV_WINE_LOADER /usr/lib/wine/wine)
  set(QV_WINE_BITS 32)
else()
  set(QV_WINE_LOADER /usr/lib/wine/wine64)
  set(QV_WINE_BITS 64)
endif()
set(QV_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
# Every prefix of this tree (the Wine tests', each end-to-end suite's, the demo's) is a copy of one
# made by wineboot once (tools/e2e/wine_prefix.py).
set(QV_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)
set(QV_WINE_ENV
  QV_E2E_PREFIX_TEMPLATE=${QV_WINE_TEMPLATE}
  WINEPREFIX=${QV_WINE_ROOT}/prefix
  HOME=${QV_WINE_ROOT}/home
  WINELOADER=${QV_WINE_LOADER}
  WINEDEBUG=-all)

# QV_TEST_LAUNCHER goes before the command of every test that runs under Wine: empty where the
# programs of this tree run, else the stand-in that reports the test as skipped with the reason.
set(QV_TEST_LAUNCHER "")
if(QV_WINE_BITS EQUAL 32)
  if(DEFINED ENV{QV_32BIT_PROBE_STATUS} AND DEFINED ENV{QV_32BIT_PROBE_LINE})
    # Probed already by the caller (run_tests.sh), on this machine a moment ago.
    set(QV_32BIT_PROBE "$ENV{QV_32BIT_PROBE_LINE}")
    set(probe_status "$ENV{QV_32BIT_PROBE_STATUS}")
  else()
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/probe_32bit.sh
      OUTPUT_VARIABLE QV_32BIT_PROBE RESULT_VARIABLE probe_status OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  message(STATUS "${QV_32BIT_PROBE}")
  if(NOT probe_status EQUAL 0)
    set(QV_TEST_LAUNCHER ${PROJECT_SOURCE_DIR}/cmake/skip-test.sh "${QV_32BIT_PROBE}")
  endif()
endif()

set_property(GLOBAL PROPERTY QV_TEST_LAUNCHER "${QV_TEST_LAUNCHER}")

# The end-to-end runs use the test build's fixed loopback ports. Where the machine gives a process a
# network namespace of its own, each run gets one and the runs go side by side; elsewhere they hold
# the ports in turn.
execute_process(COMMAND unshare --net ip link set lo up RESULT_VARIABLE own_network_status OUTPUT_QUIET ERROR_QUIET)
if(own_network_status EQUAL 0)
  set_property(GLOBAL PROPERTY QV_OWN_NETWORK ${PROJECT_SOURCE_DIR}/cmake/own-network.sh)
else()
  message(STATUS "No network namespace of their own for the end-to-end runs: they run in turn")
  set_property(GLOBAL PROPERTY QV_OWN_NETWORK "")
endif()

# qv_add_test_on_wine(<name> [PORTS] [WORKING_DIRECTORY <dir>] COMMAND <command...>): a test that
# needs this tree's programs to run (Wine tests, their fixtures, the end-to-end runs); with PORTS,
# one that uses the test build's loopback ports (in a network namespace of its own, or holding
# the ports in turn). Set its other properties afterwards. A function of any folder of the tree.
function(qv_add_test_on_wine name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PORTS" "WORKING_DIRECTORY" "COMMAND")
  set(where "")
  if(arg_WORKING_DIRECTORY)
    set(where WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  endif()
  get_property(launcher GLOBAL PROPERTY QV_TEST_LAUNCHER)
  set(network "")
  if(arg_PORTS)
    get_property(network GLOBAL PROPERTY QV_OWN_NETWORK)
  endif()
  add_test(NAME ${name} COMMAND ${launcher} ${network} ${arg_COMMAND} ${where})
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  if(arg_PORTS AND NOT network)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK connectivity_port)
  endif()
endfunction()

qv_add_test_on_wine(wine_up COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-rig.sh up)
qv_add_test_on_wine(wine_down COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-rig.sh down)
set_tests_properties(wine_up PROPERTIES FIXTURES_SETUP WINE ENVIRONMENT "${QV_WINE_ENV}" TIMEOUT 180)
set_tests_properties(wine_down PROPERTIES FIXTURES_CLEANUP WINE ENVIRONMENT "${QV_WINE_ENV}" TIMEOUT 60)

# qv_add_wine_test(<name> <target> [args...]): runs a Windows program of this build under Wine.
function(qv_add_wine_test name target)
  qv_add_test_on_wine(${name} COMMAND ${QV_WINE_LOADER} $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${QV_WINE_ENV}" FIXTURES_REQUIRED WINE TIMEOUT 120)
endfunction()
