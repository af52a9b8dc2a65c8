# Installation and the Debian package: the panel, the instrument, varlo-send and varlo-scpi in
# bin/, the panel's network client in lib/varlo/, the manual pages, the panel's desktop entry, AppStream metadata and icon in the
# freedesktop places, varlo-scpi's systemd unit, and the copyright and changelog Debian asks
# for.
include(GNUInstallDirs)

set(varlo_app_dir ${CMAKE_CURRENT_LIST_DIR}/../app)
set(varlo_icon_dir ${CMAKE_CURRENT_LIST_DIR}/../panel/icons)
set(varlo_doc_dir ${CMAKE_CURRENT_LIST_DIR}/../doc)
set(varlo_debian_dir ${CMAKE_CURRENT_LIST_DIR}/debian)
set(varlo_scpi_dir ${CMAKE_CURRENT_LIST_DIR}/../scpi)

# Placeholders until the project has a home of its own; set them when packaging for real.
set(VARLO_APP_ID "org.example.varlo"
    CACHE STRING "Reverse-DNS id of the desktop entry and the AppStream component")
set(VARLO_MAINTAINER "Varlo maintainers <maintainers@varlo.example.org>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")

# The installed programs, named once: installed here, and built without the tests by the target
# `programs` (tools/run-panel.sh, and the README before an install).
set(varlo_programs varlo varlo-instrument varlo-send varlo-scpi)
install(TARGETS ${varlo_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The panel's network client, loaded only by varlo --connect, in the package's own library
# folder (panel/load_server_connection finds it there from bin/); not executable, as a shared
# object need not be.
install(TARGETS varlo_server_link_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/varlo
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${varlo_app_dir}/varlo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${VARLO_APP_ID}.desktop)
configure_file(${varlo_app_dir}/varlo.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/${VARLO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${VARLO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${varlo_icon_dir}/varlo-16.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps RENAME varlo.png)
install(FILES ${varlo_icon_dir}/varlo-32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME varlo.png)
install(FILES ${varlo_icon_dir}/varlo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# varlo-scpi's systemd template unit, in the prefix's lib/systemd/system, which systemd reads
# for /usr and /usr/local alike. Its ExecStart names the program in the prefix it is
# installed to, known only when it is installed (cmake --install --prefix).
set(varlo_unit ${CMAKE_BINARY_DIR}/systemd/varlo-scpi@.service)
install(CODE "
    set(VARLO_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${varlo_scpi_dir}/varlo-scpi@.service.in\" \"${varlo_unit}\" @ONLY)
")
install(FILES ${varlo_unit} DESTINATION lib/systemd/system)

# Manual pages and the changelog go compressed, without a time stamp, as Debian wants them.
configure_file(${varlo_debian_dir}/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
set(varlo_compressed)
# Every program has its page, doc/<program>.1.
list(TRANSFORM varlo_programs PREPEND ${varlo_doc_dir}/ OUTPUT_VARIABLE varlo_pages)
list(TRANSFORM varlo_pages APPEND .1)
foreach(source ${varlo_pages} ${CMAKE_BINARY_DIR}/debian/changelog)
    get_filename_component(name ${source} NAME)
    set(compressed ${CMAKE_BINARY_DIR}/debian/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND gzip -9 -n -c ${source} > ${compressed}
        DEPENDS ${source} VERBATIM)
    list(APPEND varlo_compressed ${compressed})
endforeach()
add_custom_target(varlo_compressed_docs ALL DEPENDS ${varlo_compressed})
add_custom_target(programs)
add_dependencies(programs ${varlo_programs} varlo_compressed_docs)
list(FILTER varlo_compressed INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${varlo_compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${varlo_debian_dir}/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME varlo)
set(CPACK_PACKAGE_VENDOR "Varlo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Front panel for a serial function generator")
# Wrapped as Debian shows it: lines of at most 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Varlo is a desktop front panel for a laboratory function generator on an\n"
    "RS-232 line: keyed frequency, unit, waveform, attenuator and duty cycle,\n"
    "sent as short hex commands.\n"
    "varlo-send sends the same commands from the command line, for sweeps\n"
    "and scripts.\n"
    "varlo-scpi makes the generator a networked SCPI instrument for lab\n"
    "software such as pyvisa.\n"
    "varlo-instrument plays the generator on a pseudo-terminal for trying the\n"
    "panel without one.")
set(CPACK_PACKAGE_CONTACT ${VARLO_MAINTAINER})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME varlo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VARLO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# libc6, the Qt libraries and the rest, each at the version the binaries were built against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer scripts for varlo-scpi's systemd unit.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${varlo_debian_dir}/postinst ${varlo_debian_dir}/prerm ${varlo_debian_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# varlo-scpi announces itself through the Avahi daemon where one runs, and is found by VISA
# tools through rpcbind; it serves without either.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, rpcbind")

include(CPack)
