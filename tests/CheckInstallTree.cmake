cmake_minimum_required(VERSION 3.25)
# Installs the build into an empty prefix and checks what a desktop user gets:
# both programs, the launcher entry, the icons at their sizes and the metainfo,
# all named by the one application id, the man pages and the licence.
# cmake -DBUILD_DIR=... -DPREFIX=... -DAPP_ID=... [-DDESKTOP_FILE_VALIDATE=...] -P CheckInstallTree.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(icons share/icons/hicolor)
foreach(path IN ITEMS
        bin/formtidy
        bin/formtidy-decode
        share/applications/${APP_ID}.desktop
        share/metainfo/${APP_ID}.metainfo.xml
        ${icons}/16x16/apps/${APP_ID}.png
        ${icons}/32x32/apps/${APP_ID}.png
        ${icons}/48x48/apps/${APP_ID}.png
        ${icons}/scalable/apps/${APP_ID}.svg
        share/man/man1/formtidy-decode.1
        share/man/man1/formtidy.1
        share/doc/formtidy/LICENSE)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(SEND_ERROR "missing from the install tree: ${path}")
    endif()
endforeach()

# The launcher starts the installed program, finds the installed icon, is
# tied to the window's WM_CLASS and waits for the window to show, and the
# metainfo names the launcher.
file(STRINGS "${PREFIX}/share/applications/${APP_ID}.desktop" entry)
foreach(line IN ITEMS "Exec=formtidy" "Icon=${APP_ID}" "StartupWMClass=formtidy"
                      "StartupNotify=true")
    if(NOT line IN_LIST entry)
        message(SEND_ERROR "the desktop entry lacks ${line}")
    endif()
endforeach()
file(READ "${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml" metainfo)
foreach(text IN ITEMS "<id>${APP_ID}</id>" "<launchable type=\"desktop-id\">${APP_ID}.desktop<")
    string(FIND "${metainfo}" "${text}" at)
    if(at EQUAL -1)
        message(SEND_ERROR "the metainfo lacks ${text}")
    endif()
endforeach()
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}"
                            "${PREFIX}/share/applications/${APP_ID}.desktop"
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(SEND_ERROR "the installed desktop entry does not validate")
    endif()
endif()

# The installed command-line decoder runs, and finds the library of its
# formats where it was installed.
execute_process(COMMAND "${PREFIX}/bin/formtidy-decode" --version RESULT_VARIABLE rc
                OUTPUT_VARIABLE version)
if(NOT rc EQUAL 0 OR NOT version MATCHES "^formtidy-decode ")
    message(SEND_ERROR "the installed formtidy-decode does not run: ${rc} ${version}")
endif()
file(WRITE "${PREFIX}/form.mbox" "From a@b Tue Dec  8 10:00:00 2026\n"
     "Content-Type: application/x-www-form-urlencoded\n\na=1\n")
execute_process(COMMAND "${PREFIX}/bin/formtidy-decode" --mail --format json "${PREFIX}/form.mbox"
                RESULT_VARIABLE rc OUTPUT_VARIABLE json ERROR_VARIABLE error)
if(NOT rc EQUAL 0 OR NOT json MATCHES "\\[\\[\"a\",\"1\"\\]\\]")
    message(SEND_ERROR "the installed formtidy-decode reads no mail: ${rc} ${json} ${error}")
endif()
