# Refuses to make the package of VERSION unless it is higher than every version listed in
# RELEASED (released-versions.txt). Windows Installer compares only the first three fields, and
# the product code is made from them: a package of a released version, or of one that differs
# from it in the fourth field only, would be that release again with other contents.
#   cmake -D VERSION=1.1.0.0 -D RELEASED=package/released-versions.txt -P RefuseReleasedVersion.cmake
file(STRINGS "${RELEASED}" lines REGEX "^[^#]")
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" wanted "${VERSION}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^(([0-9]+\\.[0-9]+\\.[0-9]+)\\.[0-9]+) (x86|x64) {[0-9A-F-]+}$")
    message(FATAL_ERROR "${RELEASED}: not a version, a platform and a product code: ${line}")
  endif()
  if(NOT wanted VERSION_GREATER CMAKE_MATCH_2)
    message(FATAL_ERROR "Pivotra ${VERSION} was released already: its first three fields are "
            "not higher than those of ${CMAKE_MATCH_1}, listed in ${RELEASED}. Raise the "
            "version in CMakeLists.txt's project() for a new release (docs/package.md)")
  endif()
endforeach()
