# Project-wide helpers: one static library per source folder, one test program per test folder.

function(tarnix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TARNIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# tarnix_library(NAME [DEPENDS lib...] [EXCLUDE file...])
# Collects every .cpp/.h under the current folder, so adding a unit needs no edit here.
function(tarnix_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "${ex}")
  endforeach()
  list(FILTER sources INCLUDE REGEX "\\.(cpp|h|qrc)$")
  set(has_code FALSE)
  foreach(s ${sources})
    if(s MATCHES "\\.cpp$")
      set(has_code TRUE)
    endif()
  endforeach()
  if(NOT has_code)
    return()  # a folder waiting for its first unit
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  # A layer below that has no units yet is simply not linked.
  set(deps)
  foreach(dep ${ARG_DEPENDS})
    if(dep MATCHES "^(platform|support|controls|lang|gantt|frame|optionforms|workbench)$" AND NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND deps ${dep})
  endforeach()
  target_link_libraries(${name} PUBLIC ${deps})
  tarnix_warnings(${name})
endfunction()

# tarnix_test(NAME SOURCES file... [LIBS lib...])
# Tests are discovered when CTest runs, so a GUI test never starts at build time.
function(tarnix_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tarnix_testmain GTest::gtest GTest::gmock)
  tarnix_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TARNIX_SOURCE_DIR=${PROJECT_SOURCE_DIR};TARNIX_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
               TIMEOUT 300)
endfunction()
