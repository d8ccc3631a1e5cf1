# GoogleTest from Debian's sources, built with the same compiler (and sanitizers) as the code
# under test; on mingw it needs the "-posix" compilers of the toolchain files.
set(PIVOTRA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PIVOTRA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

include(GoogleTest)

# pivotra_add_test(name SOURCES ... LIBRARIES ... [LABELS ...] [LOCK resource]
#                  [DIRECTORY dir] [EMULATOR command...]): one test program, its cases
# registered with ctest one by one. LOCK keeps cases that share a file (the settings file
# beside the test programs, say) from running at the same time. Under Wine the list is read
# when the tests run (the emulator makes the prefix on first use). DIRECTORY puts the program
# elsewhere than build/<preset>/tests; EMULATOR runs each case (and the listing of the cases)
# through another command than the build's emulator, such as tools/wine-session.
function(pivotra_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LOCK;DIRECTORY" "SOURCES;LIBRARIES;LABELS;EMULATOR")
  add_executable(${name} ${arg_SOURCES})
  pivotra_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest GTest::gtest_main)
  if(NOT arg_DIRECTORY)
    set(arg_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${arg_DIRECTORY})
  if(arg_EMULATOR)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${arg_EMULATOR}")
  endif()
  set(properties TIMEOUT 300)
  if(arg_LABELS)
    list(APPEND properties LABELS "${arg_LABELS}")
  endif()
  if(arg_LOCK)
    list(APPEND properties RESOURCE_LOCK "${arg_LOCK}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    NO_PRETTY_VALUES
    PROPERTIES ${properties})
endfunction()
