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
  app/win32/main_window.cpp
  app/win32/picture.cpp
)
target_link_libraries(verlisk_win32 PUBLIC verlisk_core user32 gdi32 kernel32 comctl32 ole32
                      windowscodecs uuid)

add_executable(Verlisk WIN32 app/win32/main.cpp app/layout/verlisk.rc)
target_link_libraries(Verlisk PRIVATE verlisk_win32)
if(MSVC)
  target_link_options(Verlisk PRIVATE /MANIFEST:NO)  # ours is in the resources
endif()

add_subdirectory(standin)

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
