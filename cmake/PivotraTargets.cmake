# Settings for the project's own targets: warnings as errors here, never on GoogleTest.
function(pivotra_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(WIN32)
    # Every Win32 call of the project names its ANSI or wide form explicitly.
    target_compile_definitions(${target} PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  endif()
endfunction()

function(pivotra_add_library target)
  add_library(${target} STATIC ${ARGN})
  pivotra_target_defaults(${target})
endfunction()

# The processor architecture the programs' manifests name.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(PIVOTRA_ARCHITECTURE amd64)
else()
  set(PIVOTRA_ARCHITECTURE X86)
endif()
