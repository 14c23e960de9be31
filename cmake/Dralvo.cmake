# Shared helpers for the per-folder targets.

set(DRALVO_WARNINGS -Wall -Wextra -Werror)

# dralvo_library(NAME DEPS ...): one static library made of every source in the
# calling folder. Sources are globbed so adding a file needs no CMake edit.
function(dralvo_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${stub} "// ${name} has no sources yet\n")
    set(sources ${stub})
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${DRALVO_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# dralvo_test(NAME [APPLICATION NONE|CORE|WIDGETS] DEPS ...): one GoogleTest
# program of every source in the calling folder and the shared test main
# (tests/support/TestMain.cpp), registered with CTest test by test. The main
# creates the named Qt application object (NONE when not given).
function(dralvo_test name)
  cmake_parse_arguments(ARG "" "APPLICATION" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    return()
  endif()
  if(NOT ARG_APPLICATION OR ARG_APPLICATION STREQUAL "NONE")
    set(application 0)
  elseif(ARG_APPLICATION STREQUAL "CORE")
    set(application 1)
  elseif(ARG_APPLICATION STREQUAL "WIDGETS")
    set(application 2)
  else()
    message(FATAL_ERROR "dralvo_test(${name}): APPLICATION is NONE, CORE or WIDGETS")
  endif()
  add_executable(${name} ${sources} ${CMAKE_SOURCE_DIR}/tests/support/TestMain.cpp)
  target_compile_options(${name} PRIVATE ${DRALVO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} testsupport GTest::gtest GTest::gmock
                        Threads::Threads)
  if(application EQUAL 2)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  target_compile_definitions(${name} PRIVATE DRALVO_TEST_APPLICATION=${application}
    DRALVO_BINARY_DIR="${CMAKE_BINARY_DIR}" DRALVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()
