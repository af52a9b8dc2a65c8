# Installation and the Debian package: the panel, the instrument and varlo-send in bin/, the panel's
# desktop entry and its icon in the freedesktop places.
include(GNUInstallDirs)

set(varlo_app_dir ${CMAKE_CURRENT_LIST_DIR}/../app)

install(TARGETS varlo varlo-instrument varlo-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${varlo_app_dir}/varlo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${varlo_app_dir}/icons/varlo-16.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps RENAME varlo.png)
install(FILES ${varlo_app_dir}/icons/varlo-32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME varlo.png)
install(FILES ${varlo_app_dir}/icons/varlo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(VARLO_PACKAGE_MAINTAINER "Varlo maintainers <varlo@localhost>"
    CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME varlo)
set(CPACK_PACKAGE_VENDOR "Varlo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Front panel for a serial function generator")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Varlo is a desktop front panel for a laboratory function generator on an RS-232 line: "
    "keyed frequency, unit, waveform, attenuator and duty cycle, sent as short hex commands. "
    "varlo-instrument plays the generator on a pseudo-terminal for trying the panel without one.")
set(CPACK_PACKAGE_CONTACT ${VARLO_PACKAGE_MAINTAINER})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME varlo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VARLO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6 (>= 6.2), libqt6serialport6 (>= 6.2)")

include(CPack)
