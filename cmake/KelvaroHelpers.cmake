# Small helpers shared by every folder's CMakeLists.

# Adds a folder when it holds a CMakeLists.txt, so subsystems can arrive one
# at a time.
function(kelvaro_add_optional_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# kelvaro_library(NAME DIR [LIBS ...]): a static library of every .cpp of DIR
# (not recursive).
function(kelvaro_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# kelvaro_test(NAME SOURCES ... LIBS ... [LABELS ...]): one GoogleTest
# executable whose cases CTest lists one by one.
function(kelvaro_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Only properties that have a value: an empty one would shift the list
  # and turn the next property's name into this one's value.
  set(properties)
  if(ARG_LABELS)
    # Several labels are one list inside the list of properties: its
    # semicolons are escaped for each of the three expansions they go through
    # (here, gtest_discover_tests' arguments, the script it writes), each of
    # which halves the backslashes. Unescaped, only the first label was kept.
    string(REPLACE ";" [=[\\\\\\\\;]=] labels "${ARG_LABELS}")
    list(APPEND properties LABELS "${labels}")
  endif()
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()
