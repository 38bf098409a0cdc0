# Cross-build for Windows with mingw-w64, posix thread model (std::thread, std::mutex), for the
# target named by QV_MINGW_TRIPLE. The runtime libraries are linked statically so that every
# binary imports only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW_TRIPLE}-windres)
set(QV_OBJDUMP ${QV_MINGW_TRIPLE}-objdump)
set(QV_NM ${QV_MINGW_TRIPLE}-nm)
set(QV_DLLTOOL ${QV_MINGW_TRIPLE}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Reproducible binaries: the same sources give the same bytes whatever folders they are built in
# and whenever. The linker's PE time stamps (file header, export directory) are left at zero, and
# source and build folders are written as "." wherever the compiler records a path (__FILE__,
# debug information). The build folder's map comes last so that it wins for a build folder inside
# the source folder.
set(QV_PREFIX_MAPS "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
set(CMAKE_C_FLAGS_INIT "${QV_PREFIX_MAPS}")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections ${QV_PREFIX_MAPS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--gc-sections -Wl,--no-insert-timestamp")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
# Release binaries are built for size: -Os; link-time optimisation as one unit (the objects stay
# fat so that nm still reads calling conventions from them; split into partitions, GCC 12 fails
# on the program); no run-time type information (nothing asks a type at run time; thrown types
# still get theirs); unwind tables only where C++ exceptions need them, not for every function; and
# std::string's members compiled where they are used rather than taken whole from the runtime
# (see own_string_code.h). Every Windows tree (shipped, 64-bit and 32-bit test trees) builds its
# deliverables with these flags, so that the tests run the code that ships; the test programs and
# tools, which the root CMakeLists.txt adds after them, keep the flags but not the link-time
# optimisation. Release binaries ship without a symbol table (-s); tests read calling conventions
# from the objects.
# Cache values, because CMake's own Release defaults (-O3) would otherwise come after these and
# win; a tree configured before keeps its cached defaults, which are replaced here (a value set
# by hand stays).
set(QV_SIZE_FLAGS "-Os -DNDEBUG -fno-rtti -flto -ffat-lto-objects -include ${CMAKE_CURRENT_LIST_DIR}/own_string_code.h")
# On 64-bit Windows every function needs its unwind table (the system unwinds by them; without
# them GCC falls back to another exception model that the runtime lacks).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  string(APPEND QV_SIZE_FLAGS " -fno-asynchronous-unwind-tables")
endif()
set(QV_SIZE_LINK_FLAGS "-s -Os -flto -flto-partition=none")
function(qv_release_flags variable value former_default)
  if(NOT DEFINED CACHE{${variable}} OR "$CACHE{${variable}}" STREQUAL "${former_default}")
    set(${variable} "${value}" CACHE STRING "Flags of the Release build" FORCE)
  endif()
endfunction()
qv_release_flags(CMAKE_C_FLAGS_RELEASE "${QV_SIZE_FLAGS}" "-O3 -DNDEBUG")
qv_release_flags(CMAKE_CXX_FLAGS_RELEASE "${QV_SIZE_FLAGS}" "-O3 -DNDEBUG")
qv_release_flags(CMAKE_EXE_LINKER_FLAGS_RELEASE "${QV_SIZE_LINK_FLAGS}" "-s")
qv_release_flags(CMAKE_SHARED_LINKER_FLAGS_RELEASE "${QV_SIZE_LINK_FLAGS}" "-s")
