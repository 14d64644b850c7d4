# Installs the programs like any desktop application and describes the two
# Debian packages that cpack builds from it:
#   vexahost      (component main) the program, vexactl and vexa-agent, the hidapi
#                 build of the USB library, the udev rule, desktop entry, icon,
#                 AppStream metadata, the agent's service (not enabled), its
#                 user and example configuration, and the manuals
#   vexahost-sim  (component sim) the simulator, its build of the USB
#                 library and its manual
# and their debug symbols (dist/binaries.cmake) in vexahost-dbgsym and
# vexahost-sim-dbgsym.
include(GNUInstallDirs)

set(VEXA_METAINFO_ID com.kestrune.vexahost)
set(VEXA_MAINTAINER "VexaHost developers <dev@vexahost.invalid>")

vexa_install_binary(vexahost ${CMAKE_INSTALL_BINDIR} main maindbg)
vexa_install_binary(vexactl ${CMAKE_INSTALL_BINDIR} main maindbg)
vexa_install_binary(vexa-agent ${CMAKE_INSTALL_BINDIR} main maindbg)
# The agent's service is installed, never enabled or started by the package:
# the administrator writes its configuration first. Its user is described
# for systemd-sysusers rather than made by a maintainer script, so that the
# package changes nothing in /etc.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/vexa-agent.service
    DESTINATION lib/systemd/system COMPONENT main)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/vexa-agent.sysusers
    DESTINATION lib/sysusers.d RENAME vexa-agent.conf COMPONENT main)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vexa-agent.conf.example
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexahost/examples RENAME vexa-agent.conf COMPONENT main)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vexactl.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vexactl COMPONENT main)
if(TARGET vexa-sim)
    vexa_install_binary(vexa-sim ${CMAKE_INSTALL_BINDIR} sim simdbg)
endif()
foreach(size 16 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/src/ui/window/images/vexahost-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vexahost.png COMPONENT main)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vexahost.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT main)

# The manuals, the metadata and the changelog carry the version of
# project(), so they are made from templates at configure time; gzip -n
# keeps them reproducible. Their date is the configure run's, or
# SOURCE_DATE_EPOCH when set.
string(TIMESTAMP VEXA_MANUAL_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VEXA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(dist_out ${CMAKE_BINARY_DIR}/dist)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${VEXA_METAINFO_ID}.metainfo.xml.in
    ${dist_out}/${VEXA_METAINFO_ID}.metainfo.xml @ONLY)
install(FILES ${dist_out}/${VEXA_METAINFO_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT main)
# In man, "\-" is the "-" one types; a bare "-" may print as a hyphen.
string(REPLACE "-" "\\-" VEXA_MAN_LIBDIR ${VEXA_PRIVATE_LIBDIR})
set(dist_files)
foreach(page vexahost.1 vexactl.1 vexa-agent.1 vexa-sim.1)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page}.in ${dist_out}/${page} @ONLY)
    list(APPEND dist_files ${dist_out}/${page})
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${dist_out}/changelog @ONLY)
list(APPEND dist_files ${dist_out}/changelog)
set(dist_gz)
foreach(file ${dist_files})
    add_custom_command(OUTPUT ${file}.gz
        COMMAND gzip -9nkf ${file}
        DEPENDS ${file} VERBATIM)
    list(APPEND dist_gz ${file}.gz)
endforeach()
add_custom_target(vexa-dist-docs ALL DEPENDS ${dist_gz})

install(FILES ${dist_out}/vexahost.1.gz ${dist_out}/vexactl.1.gz ${dist_out}/vexa-agent.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT main)
install(FILES ${dist_out}/vexa-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
foreach(pair main:vexahost sim:vexahost-sim maindbg:vexahost-dbgsym simdbg:vexahost-sim-dbgsym)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    set(optional)
    if(component MATCHES "dbg$")
        set(optional EXCLUDE_FROM_ALL)
    endif()
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${dist_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} ${optional})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexahost)
set(CPACK_PACKAGE_VENDOR Kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: cpack would put it before every
# package's own description. Each description's first line is its synopsis.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEXA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main sim maindbg simdbg)
# The libraries come from what the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# lintian then reports no error and no warning. What it reports for
# information, and why it stays: hardening-no-fortify-functions for
# vexa-sim and both USB libraries, which are built with _FORTIFY_SOURCE (see
# the top CMakeLists.txt) but call no C library function whose buffer size
# the compiler knows, so there is nothing to fortify; and
# package-supports-alternative-init-but-no-init.d-script for vexa-agent's
# service, which is for systemd alone.
# Directories 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME vexahost)
# The fonts are asked for by name, so the metric-compatible faces must be
# there for reports to line up.
set(CPACK_DEBIAN_MAIN_PACKAGE_DEPENDS "fonts-liberation, hicolor-icon-theme")
set(CPACK_DEBIAN_MAIN_PACKAGE_SUGGESTS vexahost-sim)
set(CPACK_DEBIAN_MAIN_DESCRIPTION "host utility for Vexa 13.56 MHz RFID readers
VexaHost drives a Vexa RFID reader over a serial port or USB HID: tag
commands for ISO/IEC 15693, ISO/IEC 14443-A and Tag-it, reader
configuration, firmware upgrade and a raw-frame message view.
.
The package holds the program, its USB HID library and the udev rule
that lets the logged-in user open a USB reader, vexactl for the shell, and
vexa-agent, a service (installed, not enabled) that publishes the tag
events of several readers to an MQTT broker.")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME vexahost-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "vexahost (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_SIM_DESCRIPTION "simulated Vexa RFID reader for VexaHost
vexa-sim behaves like a Vexa 13.56 MHz RFID reader on a pseudo-terminal,
published as a COM port for VexaHost, with tags in its field, its boot
loader and faults injected on demand; with --usb it is also a USB reader,
reached through the simulator's build of the USB HID library.
.
For trying VexaHost and testing it without a reader.")

foreach(pair MAINDBG:vexahost SIMDBG:vexahost-sim)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    set(CPACK_DEBIAN_${component}_PACKAGE_NAME ${package}-dbgsym)
    set(CPACK_DEBIAN_${component}_PACKAGE_SECTION debug)
    set(CPACK_DEBIAN_${component}_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_DEBIAN_${component}_PACKAGE_DEPENDS "${package} (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_${component}_DESCRIPTION "debug symbols for ${package}
The debug information of the programs and libraries of ${package}, by build
ID, for debuggers and crash reports.")
endforeach()
include(CPack)
