# Install rules and the Debian package.
#
#   cmake --install build --prefix PREFIX   programs, sound, desktop entry, icons,
#                                           metainfo and manual pages under PREFIX
#   make package (cpack in the build folder) dralvo_<version>_<arch>.deb
#
# The program finds its alarm sound at ../share/dralvo/beep.wav from its own
# folder, so the installed tree works wherever PREFIX is.
include(GNUInstallDirs)

set(DRALVO_APP_ID com.oxatek.Dralvo)
set(dralvo_data ${CMAKE_SOURCE_DIR}/data)
set(dralvo_generated ${CMAKE_BINARY_DIR}/install-data)

install(TARGETS dralvo dralvo-msg gsmsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Debian's hardening for installed programs: the dynamic linker resolves every
# symbol at start, so with the linker's default read-only relocations the whole
# offset table is read-only (costs only a relink).
foreach(program dralvo dralvo-msg gsmsim)
  target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/beep.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/dralvo)

install(FILES ${dralvo_data}/${DRALVO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${dralvo_data}/${DRALVO_APP_ID}.metainfo.xml.in
               ${dralvo_generated}/${DRALVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${dralvo_generated}/${DRALVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${dralvo_data}/icons/dralvo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${dralvo_data}/icons/dralvo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME dralvo.png)
endforeach()

# The user unit for runs without a window, one instance per port
# (systemctl --user start dralvo@ttyUSB0).
# The program's path is the installed one, known only when installing (a
# --prefix given then, the package's /usr).
install(CODE "
  file(READ \"${dralvo_data}/dralvo@.service.in\" unit)
  string(REPLACE \"@DRALVO_BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${dralvo_generated}/dralvo@.service\" \"\${unit}\")
")
install(FILES ${dralvo_generated}/dralvo@.service DESTINATION lib/systemd/user)

# Manual pages and the package's changelog, compressed as Debian wants them
# (gzip -n: no name or time stamp, so the files are reproducible).
set(dralvo_gzipped)
function(dralvo_gzip source output)
  configure_file(${source} ${output} @ONLY)
  add_custom_command(OUTPUT ${output}.gz
                     COMMAND gzip -9nf -k ${output}
                     DEPENDS ${output}
                     VERBATIM)
  set(dralvo_gzipped ${dralvo_gzipped} ${output}.gz PARENT_SCOPE)
endfunction()
foreach(page dralvo dralvo-msg gsmsim)
  dralvo_gzip(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${dralvo_generated}/man/${page}.1)
  install(FILES ${dralvo_generated}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
dralvo_gzip(${dralvo_data}/debian/changelog.in ${dralvo_generated}/changelog)
add_custom_target(install_data ALL DEPENDS ${dralvo_gzipped})

# Named after the package, as Debian wants it.
install(FILES ${dralvo_data}/debian/copyright ${dralvo_generated}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dralvo)

# ---- Debian package ----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dralvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Oxatek)
set(CPACK_PACKAGE_CONTACT "Oxatek <dralvo@oxatek.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "serial debug console for a Java application on a GSM module")
set(CPACK_PACKAGE_DESCRIPTION
    "Dralvo opens the serial port of a GSM module, retrying until the port is\n\
there, and shows every line the module's Java application prints,\n\
time-stamped and coloured, while writing the same lines to daily log files.\n\
Two filter strings pick out lines of interest, and text or hexadecimal lines\n\
can be sent back to the module. Timers connect after start, mark the log,\n\
send a command periodically and sound an alarm when the module falls silent.\n\
.\n\
It also runs without a window (dralvo --headless PORT), as a systemd user\n\
service per port (dralvo@ttyUSB0), and scripts drive a running instance\n\
through dralvo-msg: send, expect, tail, mark, state, Start and Disconnect.\n\
.\n\
The package also holds gsmsim, a simulated module on a pseudo-terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # dralvo_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# aplay plays the alarm sound; everything else works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS alsa-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
