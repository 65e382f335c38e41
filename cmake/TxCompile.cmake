# Compiler settings shared by every target of the project.
#
# Sources are UTF-8; narrow literals must reach the program as code page 936
# bytes, the installer's ANSI code page, so they are converted at compile time.

add_library(tx_options INTERFACE)
target_include_directories(tx_options INTERFACE ${PROJECT_SOURCE_DIR})

if(MSVC)
  target_compile_options(tx_options INTERFACE
    /W4 /WX /permissive- /utf-8 /execution-charset:.936 /source-charset:utf-8)
  target_compile_definitions(tx_options INTERFACE _CRT_SECURE_NO_WARNINGS)
else()
  target_compile_options(tx_options INTERFACE -Wall -Wextra -Werror -finput-charset=UTF-8)
  # clang only converts literals to UTF-8; its one use here is the fuzz
  # build, which feeds the code-page functions raw bytes anyway.
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(tx_options INTERFACE -fexec-charset=CP936)
  endif()
endif()

if(TX_SANITIZE AND NOT WIN32)
  target_compile_options(tx_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(tx_options INTERFACE -fsanitize=address,undefined)
endif()

# Coverage for libFuzzer in every library the fuzz targets link; the targets
# themselves add the fuzzer's main (fuzz/CMakeLists.txt).
if(TX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR WIN32)
    message(FATAL_ERROR "TX_FUZZ needs a native clang build (CC=clang CXX=clang++)")
  endif()
  target_compile_options(tx_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=all -g)
  target_link_options(tx_options INTERFACE -fsanitize=address,undefined)
endif()

if(WIN32 AND NOT MSVC)
  # Static runtime: SetUp.exe and the test programs carry no compiler DLLs.
  # Every library of the program is built for size, not only its last link:
  # the installer's work is bound by the disk and the registry, not the CPU.
  target_compile_options(tx_options INTERFACE -ffunction-sections -fdata-sections
    $<$<NOT:$<CONFIG:Debug>>:-Os>)
  target_link_options(tx_options INTERFACE -static -Wl,--gc-sections)
  target_compile_definitions(tx_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601)
elseif(WIN32)
  target_compile_definitions(tx_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>" CACHE STRING "" FORCE)
endif()

# The program's own libraries (not the tests): without C++ exceptions in
# the Windows build. Nothing of the program throws or catches, and the
# landing pads of every call that could throw are about 5% of SetUp.exe.
add_library(tx_product_options INTERFACE)
if(WIN32 AND NOT MSVC)
  target_compile_options(tx_product_options INTERFACE -fno-exceptions)
endif()

# A unit test: one test file (plus helpers) in its own executable.
#   tx_add_test(NAME name SOURCES a.cpp ... LIBS lib ...)
# Native trees run it directly; Windows trees run it through the Wine
# wrapper, which gives it a fresh prefix with code page 936.
function(tx_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE tx_options ${T_LIBS} tx_gtest_main)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_test(NAME ${T_NAME}
      COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run-in-wine.sh $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED wine_prefix TIMEOUT 300 LABELS "wine;${T_LABELS}"
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/prefix")
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 120 LABELS "unit;${T_LABELS}")
  endif()
endfunction()

# Every *Test.cpp in the calling directory becomes its own test program.
#   tx_add_tests_in_dir(LIBS lib ... [LABELS l ...])
function(tx_add_tests_in_dir)
  cmake_parse_arguments(T "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    string(REGEX REPLACE "([a-z0-9])([A-Z])" "\\1_\\2" snake ${stem})
    string(TOLOWER ${snake} name)
    tx_add_test(NAME ${name} SOURCES ${src} LIBS ${T_LIBS} LABELS ${T_LABELS})
  endforeach()
endfunction()

# A portable library from every .cpp of the calling directory.
function(tx_add_glob_library name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC tx_options ${ARGN})
    target_link_libraries(${name} PRIVATE tx_product_options)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE tx_options ${ARGN})
  endif()
endfunction()
