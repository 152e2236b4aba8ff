# What `cmake --install` puts where, and the Debian package cpack makes of it.
include(GNUInstallDirs)
install(TARGETS monosplit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The batch script goes on the PATH under a name of the program's own.
install(PROGRAMS examples/split-all DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME monosplit-all)
# The compiler's and the C runtime's version strings are of no use to the
# program; Debian's own packages go without them.
install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/monosplit\" COMMAND_ERROR_IS_FATAL ANY)")

# The manual page and the changelog go out compressed and the licence as a
# machine-readable copyright file, as Debian's packages carry them. The manual
# page is dated by the changelog's newest entry, the release it describes.
file(STRINGS packaging/changelog signoff REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+ [A-Z][a-z]+ [0-9]+" MANUAL_DATE "${signoff}")
configure_file(man/monosplit.1.in monosplit.1 @ONLY)
configure_file(man/monosplit-all.1.in monosplit-all.1 @ONLY)
file(READ LICENSE license)
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " LICENSE_BODY " ${license}")
configure_file(packaging/copyright.in copyright @ONLY)
add_custom_command(OUTPUT monosplit.1.gz monosplit-all.1.gz changelog.gz
  COMMAND sh -c "gzip -9n -c monosplit.1 > monosplit.1.gz"
  COMMAND sh -c "gzip -9n -c monosplit-all.1 > monosplit-all.1.gz"
  COMMAND sh -c "gzip -9n -c '${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog' > changelog.gz"
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/monosplit.1 ${CMAKE_CURRENT_BINARY_DIR}/monosplit-all.1 packaging/changelog
  VERBATIM)
add_custom_target(documents ALL DEPENDS monosplit.1.gz monosplit-all.1.gz changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/monosplit.1.gz ${CMAKE_CURRENT_BINARY_DIR}/monosplit-all.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME monosplit)
set(CPACK_PACKAGE_VENDOR "monosplit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split a stereo WAV file into two mono WAV files")
set(CPACK_PACKAGE_DESCRIPTION
  "monosplit splits a stereo WAV file of 16 or 24 bits per sample into two\n\
mono WAV files, one per channel, next to the source: take.wav becomes\n\
takeL.wav and takeR.wav. The samples are copied byte for byte behind a\n\
44-byte mono PCM header; nothing is converted or dithered.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "monosplit developers <monosplit@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# monosplit-all's tools, beside the libraries the program links with. The
# versions are Debian 11's, where every one of them is as the script uses it
# (bash's associative arrays and ${name,,}, find -iname, stat -c).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "bash (>= 5.1), findutils (>= 4.8), coreutils (>= 8.32)")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
