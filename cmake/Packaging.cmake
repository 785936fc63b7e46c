# The Debian package: `cpack -G DEB` in the build folder. Dependencies are computed
# from the binaries (dpkg-shlibdeps); the program's own modules are private to it in
# /usr/lib/trackmill.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trackmill)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Trackmill authors")
set(CPACK_PACKAGE_CONTACT "The Trackmill authors <trackmill@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy audio CD tracks to WAV, FLAC or MP3 files")
# The long description: CPack puts the summary above it and indents each line; an
# empty line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Trackmill copies the audio tracks of a compact disc into files: WAV files
that hold exactly the samples on the disc, or MP3 files. It also plays the
disc's tracks through the sound card and converts WAV files that are already
on disk into MP3 files.

The tracks to copy are ticked in a list and ripped one after another into an
output folder. A read that fails or has to wait resumes with an overlap check,
so the copied audio has no gap and no repeat. Disc images (cue sheets, cdrdao
tables of contents, NRG images) can stand in for a drive, and headless
commands list, rip, convert and play from scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DropLdconfigScripts.cmake)
include(CPack)
