cmake_minimum_required(VERSION 3.25)
# Builds the Debian package and checks that it depends on the Qt libraries and
# plugins and on the libcurl that the programs need, and that it carries the
# programs and the launcher entry.
# cmake -DBUILD_DIR=... -DOUT=... -DAPP_ID=... -DDPKG_DEB=... -P CheckDebPackage.cmake

file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CMAKE_CPACK_COMMAND}" -G DEB -B "${OUT}"
                        --config "${BUILD_DIR}/CPackConfig.cmake"
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE rc OUTPUT_QUIET)
file(GLOB debs "${OUT}/*.deb")
list(LENGTH debs count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made no package: ${rc}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -f ${debs} Depends OUTPUT_VARIABLE depends)
foreach(package IN ITEMS libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libcurl4
        qt6-wayland fonts-liberation2 libgmime-3.0-0)
    if(NOT depends MATCHES "(^|, )${package}( |,|$)")
        message(SEND_ERROR "the package does not depend on ${package}: ${depends}")
    endif()
endforeach()

execute_process(COMMAND "${DPKG_DEB}" -c ${debs} OUTPUT_VARIABLE contents)
foreach(path IN ITEMS ./usr/bin/formtidy ./usr/bin/formtidy-decode
                      ./usr/share/applications/${APP_ID}.desktop
                      ./usr/share/doc/formtidy/copyright)
    string(FIND "${contents}" " ${path}\n" at)
    if(at EQUAL -1)
        message(SEND_ERROR "the package lacks ${path}")
    endif()
endforeach()
