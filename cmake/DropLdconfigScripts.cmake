# Run by cpack after the .deb is made (CPACK_POST_BUILD_SCRIPTS). CPack gives a
# package maintainer scripts that call ldconfig whenever a shared object lies in a
# folder under /usr/lib, with no way to turn that off. The program's libraries in
# /usr/lib/trackmill are private (found through the program's own search path), so
# ldconfig has nothing to do for them: a script that does nothing else is removed and
# the package rebuilt with root as the owner of every file, as CPack made it.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  set(changed FALSE)
  foreach(script postinst postrm)
    set(path "${tree}/DEBIAN/${script}")
    if(EXISTS "${path}")
      file(READ "${path}" text)
      string(REGEX REPLACE "#![^\n]*\n|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|ldconfig|fi|[ \t\n]"
        "" rest "${text}")
      if(rest STREQUAL "")
        file(REMOVE "${path}")
        set(changed TRUE)
      endif()
    endif()
  endforeach()
  if(changed)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${deb}"
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
