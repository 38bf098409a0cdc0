# Delay-import libraries for the system DLLs that Windows does not protect as known DLLs
# (version, wininet, wintrust, crypt32): a static import of one of them is looked for in the program's own
# folder first, where any program of the user can put a file of that name. Linked through these
# libraries instead, such a DLL is loaded at its first call by the hook in
# common/win/system_libraries.cpp, by its full path in the system folder.
#   qv_delay_import(<target> <dll> <function>...)
# makes the INTERFACE library <target> that links the delay-import library of <dll> with the
# functions named (their decorated names come from the toolchain's own import library).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delay-imports)

function(qv_delay_import target dll)
  string(REGEX REPLACE "\\.dll$" "" base "${dll}")
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  set(def ${folder}/${base}.def)
  set(library ${folder}/lib${base}_delay.a)
  set(import_library /usr/${QV_MINGW_TRIPLE}/lib/lib${base}.a)
  # On i686 the stdcall names carry their argument size; the DLL exports them plain.
  set(kill_at "")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(kill_at -k)
  endif()
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/cmake/make_delay_def.py --nm ${QV_NM}
      --import-lib ${import_library} --dll ${dll} --out ${def} ${ARGN}
    COMMAND ${QV_DLLTOOL} ${kill_at} -d ${def} -y ${library}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make_delay_def.py ${import_library}
    COMMENT "Delay-import library of ${dll}")
  add_custom_target(${target}_library DEPENDS ${library})
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE ${library})
  add_dependencies(${target} ${target}_library)

  # The same names at configure time, for QV_DELAY_THUNK_LINK_OPTIONS: a program linked without
  # link-time optimisation whose code calls a function only through its import address table
  # (dllimport) loses that function's delay-load thunk, and the table entry jumps to address 0.
  # "-Wl,-u,<thunk>" keeps every thunk of the library in such a program.
  set(names_def ${folder}/${base}.names.def)
  execute_process(COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/cmake/make_delay_def.py --nm ${QV_NM}
      --import-lib ${import_library} --dll ${dll} --out ${names_def} ${ARGN}
    RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Delay-import names of ${dll}: ${error}")
  endif()
  file(STRINGS ${names_def} names)
  list(FILTER names EXCLUDE REGEX "^(LIBRARY|EXPORTS)")
  # On i686 C symbols carry a leading underscore.
  set(underscore "")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(underscore "_")
  endif()
  list(TRANSFORM names PREPEND "-Wl,-u,${underscore}")
  set(QV_DELAY_THUNK_LINK_OPTIONS ${QV_DELAY_THUNK_LINK_OPTIONS} ${names} PARENT_SCOPE)
endfunction()

set(QV_DELAY_THUNK_LINK_OPTIONS "")

qv_delay_import(qv_delay_version version.dll
  GetFileVersionInfoSizeW GetFileVersionInfoW VerQueryValueW
  GetFileVersionInfoSizeA GetFileVersionInfoA VerQueryValueA)
qv_delay_import(qv_delay_wininet wininet.dll
  InternetCheckConnectionW InternetOpenA InternetSetOptionA InternetConnectA HttpOpenRequestA
  HttpAddRequestHeadersA HttpSendRequestA HttpQueryInfoA InternetOpenUrlA InternetReadFile
  InternetQueryDataAvailable InternetCloseHandle InternetOpenW InternetCrackUrlW InternetConnectW
  HttpOpenRequestW HttpSendRequestW HttpQueryInfoW InternetSetOptionW)
qv_delay_import(qv_delay_wintrust wintrust.dll
  WinVerifyTrust WTHelperProvDataFromStateData WTHelperGetProvSignerFromChain WTHelperGetProvCertFromChain)
qv_delay_import(qv_delay_crypt32 crypt32.dll CertGetNameStringW CryptHashCertificate2)
