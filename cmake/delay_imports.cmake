# Delay-import libraries for the system DLLs that Windows does not protect as known DLLs
# (version, wininet, wintrust, crypt32): a static import of one of them is looked for in the program's own
# folder first, where any program of the user can put a file of that name. Linked through these
# libraries instead, such a DLL is loaded at its first call by the hook in
# common/win/system_libraries.cpp, by its full path in the system folder.
#   qv_delay_import(<target> <dll> <function>...)
# makes the INTERFACE library <target> that links the delay-import library of <dll> with the
# functions named (their decorated names come from the toolchain's own import library).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

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
endfunction()

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
