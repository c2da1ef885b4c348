# Windows tree: the program, the module stand-in, their Win32 tests and benchmarks.
# Cross-built with MinGW-w64 on Linux (tests run under Wine) or built with MSVC.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00
                        WINVER=0x0A00)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
if(MINGW)
  # One file with no runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

add_library(verlisk_win32 STATIC
  common/win32/win32_text.cpp
  common/win32/system_ports.cpp
  simlink/win32/ipc_system_win32.cpp
  reporting/win32/winhttp_client.cpp
  app/win32/main_window.cpp
  app/win32/picture.cpp
)
target_link_libraries(verlisk_win32 PUBLIC verlisk_core user32 gdi32 kernel32 comctl32 ole32
                      windowscodecs uuid winhttp)

add_executable(Verlisk WIN32 app/win32/main.cpp app/layout/verlisk.rc)
target_link_libraries(Verlisk PRIVATE verlisk_win32)
if(MSVC)
  target_link_options(Verlisk PRIVATE /MANIFEST:NO)  # ours is in the resources
endif()

# The pilot's download: Verlisk.exe without its debug sections and readme.txt (Windows
# line ends) in one zip.
configure_file(app/readme.txt ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/readme.txt @ONLY
               NEWLINE_STYLE CRLF)
set(VERLISK_ZIP ${CMAKE_BINARY_DIR}/Verlisk-${PROJECT_VERSION}-win64.zip)
set(zip_dir ${CMAKE_BINARY_DIR}/zip)
if(CMAKE_STRIP)
  set(strip_exe ${CMAKE_STRIP} --strip-all ${zip_dir}/Verlisk.exe)
else()
  set(strip_exe ${CMAKE_COMMAND} -E true)  # MSVC keeps its debug information apart anyway
endif()
add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir} ${VERLISK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Verlisk>
          ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/readme.txt ${zip_dir}
  COMMAND ${strip_exe}
  COMMAND ${CMAKE_COMMAND} -E chdir ${zip_dir}
          ${CMAKE_COMMAND} -E tar cf ${VERLISK_ZIP} --format=zip Verlisk.exe readme.txt
  DEPENDS Verlisk
  COMMENT "Verlisk-${PROJECT_VERSION}-win64.zip")

add_subdirectory(standin)
add_subdirectory(tools/http_peer)
add_subdirectory(tools/ui)

# GoogleTest from the sources Debian ships (or a checkout given on the command line).
set(VERLISK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${VERLISK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own code is not held to our warning flags.
foreach(t gtest gtest_main)
  target_compile_options(${t} PRIVATE -w)
endforeach()

add_subdirectory(tests/win32)
add_subdirectory(bench)
