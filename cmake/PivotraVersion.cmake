# pivotra_version_header(directory version): directory/PivotraVersion.h, which the programs'
# resource scripts include for their version blocks. The build's own is made from
# project(VERSION); the tests make one of an earlier version for the programs of an upgrade.
function(pivotra_version_header directory version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "A version has four fields, as 1.1.0.0: ${version}")
  endif()
  set(major ${CMAKE_MATCH_1})
  set(minor ${CMAKE_MATCH_2})
  set(patch ${CMAKE_MATCH_3})
  set(tweak ${CMAKE_MATCH_4})
  configure_file(${PROJECT_SOURCE_DIR}/resources/PivotraVersion.h.in ${directory}/PivotraVersion.h
                 @ONLY)
endfunction()
