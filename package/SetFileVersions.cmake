# Writes each program's version, read from its own version block, into the package's File
# table with the block's language (US English), and drops the hash wixl wrote for it: Windows
# Installer keeps hashes for unversioned files only. A program without a version block stays
# unversioned.
#   cmake -D PACKAGE=Pivotra.msi -D "FILES=PivotraExe=Pivotra.EXE|..." -D MSIBUILD=msibuild
#         -D WINDRES=windres -P SetFileVersions.cmake
string(REPLACE "|" ";" files "${FILES}")
set(queries)
foreach(entry IN LISTS files)
  string(REGEX MATCH "^([^=]+)=(.+)$" entry "${entry}")
  set(key ${CMAKE_MATCH_1})
  execute_process(COMMAND ${WINDRES} -i ${CMAKE_MATCH_2} -O rc
                  OUTPUT_VARIABLE resources ERROR_QUIET RESULT_VARIABLE result)
  if(result EQUAL 0 AND resources MATCHES "FILEVERSION ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)")
    set(version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4})
    list(APPEND queries
         -q "UPDATE `File` SET `Version` = '${version}', `Language` = '1033' WHERE `File` = '${key}'"
         -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${key}'")
  endif()
endforeach()
if(queries)
  execute_process(COMMAND ${MSIBUILD} ${PACKAGE} ${queries} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "msibuild could not write the files' versions into ${PACKAGE}")
  endif()
endif()
