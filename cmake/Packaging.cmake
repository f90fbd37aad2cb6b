# Installing: the programs, the desktop integration, the manual pages and the
# licence. The Debian packages are built from this install tree by debian/
# (dpkg-buildpackage), which splits it between formtidy and formtidy-decode.
# Included from the top-level CMakeLists.txt.

install(TARGETS formtidy formtidy-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS formtidy-decode-formats LIBRARY DESTINATION ${FORMTIDY_FORMATS_DIR})

# Desktop integration. One application id names the launcher entry, the icons
# and the AppStream metainfo, and is the desktop file name the program reports.
configure_file(res/formtidy.desktop.in ${FORMTIDY_APP_ID}.desktop @ONLY)
configure_file(res/formtidy.metainfo.xml.in ${FORMTIDY_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${FORMTIDY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${FORMTIDY_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size IN ITEMS 16 32 48)
    install(FILES res/formtidy-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${FORMTIDY_APP_ID}.png)
endforeach()
install(FILES res/formtidy.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${FORMTIDY_APP_ID}.svg)
install(FILES cli/formtidy-decode.1 res/formtidy.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence. The Debian packages carry it as debian/copyright instead.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
