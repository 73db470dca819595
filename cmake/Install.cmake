# What is installed, and the packages made of it with CPack: on Linux a
# Debian package, on Windows a zip with the program and a README.
include(GNUInstallDirs)

set(VORNEX_MAINTAINER "Vornex team <maintainers@users.noreply.c-seed-267197ee.example>"
    CACHE STRING "The package's maintainer, name and address")
set(VORNEX_SUMMARY "send a file to a printer, byte for byte")
# Everything that is installed, built: cmake --build ... --target dist.
add_custom_target(dist)

if(NOT WIN32)
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/vornex)
  foreach(program vornex vornex-send vornex-printer)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
      add_dependencies(dist ${program})
    endif()
  endforeach()

  # Man pages and the changelog, with the version filled in; compressed
  # without a time stamp, as Debian wants them.
  find_program(VORNEX_GZIP gzip REQUIRED)
  string(TIMESTAMP VORNEX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(compressed)
  foreach(page vornex.1 vornex-send.1 vornex-printer.1)
    configure_file(${PROJECT_SOURCE_DIR}/dist/man/${page}.in ${VORNEX_GENERATED_DIR}/man/${page} @ONLY)
    list(APPEND compressed man/${page})
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/dist/linux/changelog.in ${VORNEX_GENERATED_DIR}/doc/changelog @ONLY)
  list(APPEND compressed doc/changelog)
  set(gzipped)
  foreach(file IN LISTS compressed)
    add_custom_command(OUTPUT ${VORNEX_GENERATED_DIR}/${file}.gz
      COMMAND ${VORNEX_GZIP} -9nkf ${VORNEX_GENERATED_DIR}/${file}
      DEPENDS ${VORNEX_GENERATED_DIR}/${file} VERBATIM)
    list(APPEND gzipped ${VORNEX_GENERATED_DIR}/${file}.gz)
  endforeach()
  add_custom_target(vornex_docs ALL DEPENDS ${gzipped})
  add_dependencies(dist vornex_docs vornex_icons)

  install(FILES ${VORNEX_GENERATED_DIR}/man/vornex.1.gz ${VORNEX_GENERATED_DIR}/man/vornex-send.1.gz
                ${VORNEX_GENERATED_DIR}/man/vornex-printer.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/dist/linux/copyright
                ${VORNEX_GENERATED_DIR}/doc/changelog.gz
          DESTINATION ${docdir})
  install(FILES ${PROJECT_SOURCE_DIR}/dist/linux/vornex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${VORNEX_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN LISTS VORNEX_ICON_SIZES)
    install(FILES ${VORNEX_ICON_DIR}/${size}x${size}/apps/vornex.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  # udev reads lib/udev/rules.d under /usr and /usr/local alike.
  install(FILES ${PROJECT_SOURCE_DIR}/dist/linux/70-vornex-usb-printer.rules DESTINATION lib/udev/rules.d)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window's buttons are in Arial; Liberation Sans has its metrics.
  # Avahi's and CUPS's client libraries are loaded when present, to list the
  # printers on the network.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, libavahi-client3, libcups2")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The build keeps its symbols for debugging; the package does not need them.
  # (The Windows program is linked without them, and ships as built.)
  set(CPACK_STRIP_FILES ON)
  # The synopsis is the summary below; this is the long text after it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vornex sends one file, byte for byte and without framing, to a printer: over
a serial port, a parallel port, a USB printer (usblp), the printer maker's
USB transfer library, or the network (raw TCP, port 9100). It shows the bytes
sent and the per cent done, stops with Time Out when a transfer makes no
progress for a minute, can repeat a transfer after a delay, and shows what a
printer sends back on a serial line or over the network.
.
The package holds the window (vornex), the same engine on the command line
(vornex-send), a virtual printer to try both without hardware
(vornex-printer), and a udev rule that gives the user at the machine access
to USB printers.")
else()
  install(TARGETS vornex RUNTIME DESTINATION .)
  add_dependencies(dist vornex)
  configure_file(${PROJECT_SOURCE_DIR}/dist/windows/README.txt.in ${VORNEX_GENERATED_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${VORNEX_GENERATED_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vornex-${PROJECT_VERSION}-${VORNEX_WINDOWS_ARCH})
endif()

set(CPACK_PACKAGE_NAME vornex)
set(CPACK_PACKAGE_VENDOR "the Vornex team")
set(CPACK_PACKAGE_CONTACT ${VORNEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${VORNEX_SUMMARY})
# The packages are made from what is built; packaging builds nothing itself
# (building "all" would build every test too).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
