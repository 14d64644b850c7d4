# Installs the program like any desktop application (the program and the
# simulator in bin, the icon in the hicolor theme, the desktop entry) and
# describes the Debian package that cpack builds from it.
include(GNUInstallDirs)

install(TARGETS vexahost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vexa-sim)
    install(TARGETS vexa-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
foreach(size 16 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/src/app/images/vexahost-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vexahost.png)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vexahost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexahost)
set(CPACK_PACKAGE_VENDOR Kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host utility for Vexa 13.56 MHz RFID readers")
set(CPACK_PACKAGE_DESCRIPTION "VexaHost drives a Vexa RFID reader over a serial port or USB HID: tag commands for ISO/IEC 15693, ISO/IEC 14443-A and Tag-it, reader configuration, firmware upgrade and a raw-frame message view. The package also holds vexa-sim, a simulated reader.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VexaHost developers <dev@vexahost.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from what the programs link; the fonts are asked for by
# name, so the metric-compatible faces must be there for reports to line up.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, hicolor-icon-theme")
include(CPack)
