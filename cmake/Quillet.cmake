# Build types beside the normal ones: Asan (address + undefined behaviour
# sanitizers), Tsan (thread sanitizer) and Fuzz (clang, libFuzzer harnesses).
set(_san_common "-O1 -g -fno-omit-frame-pointer")
foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_ASAN "${_san_common} -fsanitize=address,undefined -fno-sanitize-recover=undefined")
  set(CMAKE_${lang}_FLAGS_TSAN "${_san_common} -fsanitize=thread")
  set(CMAKE_${lang}_FLAGS_FUZZ "${_san_common} -fsanitize=address,undefined,fuzzer-no-link")
endforeach()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_ASAN "-fsanitize=address,undefined")
  set(CMAKE_${kind}_LINKER_FLAGS_TSAN "-fsanitize=thread")
  set(CMAKE_${kind}_LINKER_FLAGS_FUZZ "-fsanitize=address,undefined")
endforeach()
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_compile_options(-Wall -Wextra -Wpedantic)
if(QUILLET_WERROR)
  add_compile_options(-Werror)
endif()

# Clang's thread-safety analysis of the lock annotations (platform/threads), on in
# the `tsa` configuration of scripts/build.sh.
option(QUILLET_THREAD_SAFETY "Check the lock annotations with clang's -Wthread-safety" OFF)
if(QUILLET_THREAD_SAFETY)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUILLET_THREAD_SAFETY needs clang")
  endif()
  add_compile_options(-Wthread-safety)
endif()

# quillet_include_root(target PUBLIC|PRIVATE|INTERFACE folder)
# Gives `target` the include root of one folder of the tree, so `#include
# "folder/X.h"` resolves and no other folder does: the root is a directory of the
# build folder holding only a link to the source folder. A target thus reaches a
# layer's headers only through the layer's own target (its PUBLIC root), and an
# include of a layer it does not link fails to compile. scripts/check-layers.py
# states which layer may use which.
function(quillet_include_root target scope folder)
  string(MAKE_C_IDENTIFIER "${folder}" id)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${id})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} ${scope} ${root})
endfunction()

# Adds every direct subfolder of DIR that has a CMakeLists.txt.
function(quillet_add_subfolders dir)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# quillet_test(NAME n SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ENV k=v ...])
# A GoogleTest executable registered with CTest as one test. Labels in use:
#   threaded  run under the thread sanitizer too
#   audio     needs the PulseAudio daemon that the test script starts
#   x11       needs the Xvfb server that the test script starts
#   smoke     quick subset run by the player's start-up command
function(quillet_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT QUILLET_TESTS OR CMAKE_BUILD_TYPE STREQUAL "Fuzz")
    return()
  endif()
  find_package(GTest REQUIRED)
  # Our main: an executable whose cases skipped (and none failed) exits with 77,
  # which CTest counts as skipped.
  if(NOT TARGET quillet_test_main)
    add_library(quillet_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/common/TestMain.cpp)
    target_link_libraries(quillet_test_main PUBLIC GTest::gmock GTest::gtest)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} quillet_test_main Threads::Threads)
  quillet_include_root(${T_NAME} PRIVATE tests)
  target_compile_definitions(${T_NAME} PRIVATE
    QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    QUILLET_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77)
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
  # Tests on the shared X display take turns: one moves the pointer, maps
  # windows or runs a panel that another would see.
  if("x11" IN_LIST T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK desktop)
  endif()
  # The thread-sanitizer build compiles only what it runs.
  if("threaded" IN_LIST T_LABELS)
    if(NOT TARGET threaded_tests)
      add_custom_target(threaded_tests)
    endif()
    add_dependencies(threaded_tests ${T_NAME})
  endif()
endfunction()

# quillet_fuzz(NAME n SOURCES harness.cpp [LIBS ...] [CORPUS dir])
# With the Fuzz build type: a libFuzzer executable. Otherwise a replay program
# that runs the harness once over every file of its seed corpus, registered as
# a test, so every build checks the harnesses against their seeds.
function(quillet_fuzz)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(CMAKE_BUILD_TYPE STREQUAL "Fuzz")
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    quillet_include_root(${F_NAME} PRIVATE fuzz)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    if(NOT TARGET fuzz_all)
      add_custom_target(fuzz_all)
    endif()
    add_dependencies(fuzz_all ${F_NAME})
  elseif(QUILLET_TESTS)
    add_executable(${F_NAME}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
    quillet_include_root(${F_NAME}_replay PRIVATE fuzz)
    set(dirs)
    foreach(c IN LISTS F_CORPUS)
      list(APPEND dirs ${CMAKE_CURRENT_SOURCE_DIR}/${c})
    endforeach()
    add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME}_replay ${dirs})
    set_tests_properties(${F_NAME}_replay PROPERTIES LABELS "fuzz" TIMEOUT 300)
  endif()
endfunction()

# quillet_bench(NAME n SOURCES ... [LIBS ...])
function(quillet_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT QUILLET_BENCH OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  target_compile_definitions(${B_NAME} PRIVATE QUILLET_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endfunction()
