# Cross-build for Windows with mingw-w64, posix thread model (std::thread, std::mutex), for the
# target named by QV_MINGW_TRIPLE. The runtime libraries are linked statically so that every
# binary imports only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QV_MINGW_TRIPLE}-windres)
set(QV_OBJDUMP ${QV_MINGW_TRIPLE}-objdump)
set(QV_NM ${QV_MINGW_TRIPLE}-nm)

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
# Release binaries ship without a symbol table; tests read calling conventions from the objects.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
