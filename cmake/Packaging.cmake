# Installing and packaging: the install rules of the programs, the desktop
# integration, the manual page and the licence, and the Debian package that
# cpack builds from them. Included from the top-level CMakeLists.txt.

install(TARGETS formtidy formtidy-decode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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

# The licence, as Debian's copyright file: the MIT licence, which Debian
# calls Expat, with its text indented as the format asks.
file(READ LICENSE formtidy_license)
string(REGEX REPLACE "^MIT License\n\n" "" formtidy_license "${formtidy_license}")
string(REGEX REPLACE "\n+$" "" formtidy_license "${formtidy_license}")
string(REPLACE "\n\n" "\n.\n" formtidy_license "${formtidy_license}")
string(REPLACE "\n" "\n " formtidy_license "${formtidy_license}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Source: ${PROJECT_HOMEPAGE_URL}

Files: *
Copyright: 2026 The Formtidy authors
License: Expat
 ${formtidy_license}
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: cpack -G DEB in the build folder. It depends on the
# packages of the Qt libraries that the programs link, found by following the
# link interfaces from the Qt modules named above, at least at the version
# built against, on Qt's platform plugins, without which no window opens, and
# on libcurl.
set(formtidy_qt_todo Qt6::Widgets)
set(formtidy_qt_libs)
while(formtidy_qt_todo)
    list(POP_FRONT formtidy_qt_todo qt_target)
    if(NOT TARGET ${qt_target} OR qt_target IN_LIST formtidy_qt_libs)
        continue()
    endif()
    get_target_property(qt_type ${qt_target} TYPE)
    if(qt_type STREQUAL "SHARED_LIBRARY")
        list(APPEND formtidy_qt_libs ${qt_target})
    endif()
    get_target_property(qt_links ${qt_target} INTERFACE_LINK_LIBRARIES)
    list(FILTER qt_links INCLUDE REGEX "^Qt6::[A-Za-z]+$")
    list(APPEND formtidy_qt_todo ${qt_links})
endwhile()
set(formtidy_deb_depends)
foreach(qt_target IN LISTS formtidy_qt_libs)
    string(REPLACE "Qt6::" "" qt_module ${qt_target})
    string(TOLOWER ${qt_module} qt_module)
    list(APPEND formtidy_deb_depends "libqt6${qt_module}6 (>= ${Qt6_VERSION})")
endforeach()
# The dialogs' font, Qt's Wayland platform plugin for Wayland sessions, and
# libcurl for the news and GMime for formtidy-decode --mail.
list(APPEND formtidy_deb_depends qt6-qpa-plugins qt6-wayland fonts-liberation2
     "libcurl4 (>= ${CURL_VERSION_STRING})" "libgmime-3.0-0 (>= ${GMIME_VERSION})")
list(JOIN formtidy_deb_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# A font with the symbol that the panes show for a lone CR.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-freefont-ttf)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # adds the C and C++ runtimes
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME formtidy)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VENDOR "The Formtidy authors")
set(CPACK_PACKAGE_CONTACT "The Formtidy authors <info@formtidy.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE")
include(CPack)
