# Tests that run Windows programs under 64-bit Wine, in a prefix and HOME of their own under the
# build folder. The kernel of our build machines does not run 32-bit code, so Wine tests run the
# x86_64 build of the same sources; the 32-bit deliverables are checked as binaries.
set(QV_WINE_LOADER /usr/lib/wine/wine64)
set(QV_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(QV_WINE_ENV
  WINEPREFIX=${QV_WINE_ROOT}/prefix
  HOME=${QV_WINE_ROOT}/home
  WINELOADER=${QV_WINE_LOADER}
  WINEDEBUG=-all)

add_test(NAME wine_up COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-rig.sh up)
add_test(NAME wine_down COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-rig.sh down)
set_tests_properties(wine_up PROPERTIES FIXTURES_SETUP WINE ENVIRONMENT "${QV_WINE_ENV}" TIMEOUT 180)
set_tests_properties(wine_down PROPERTIES FIXTURES_CLEANUP WINE ENVIRONMENT "${QV_WINE_ENV}" TIMEOUT 60)

# qv_add_wine_test(<name> <target> [args...]): runs a Windows program of this build under Wine.
function(qv_add_wine_test name target)
  add_test(NAME ${name} COMMAND ${QV_WINE_LOADER} $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${QV_WINE_ENV}" FIXTURES_REQUIRED WINE TIMEOUT 120)
endfunction()
