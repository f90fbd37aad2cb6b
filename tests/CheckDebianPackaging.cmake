cmake_minimum_required(VERSION 3.25)
# Checks the debian/ folder against the build, without building the packages
# (scripts/check-deb does that, with lintian): every file of the install tree
# goes into exactly one of the two packages or is named as not installed, every
# line of the install lists matches something, debian/copyright carries the
# licence of LICENSE, and the changelog's version is the project's.
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DOUT=... -DVERSION=... -P CheckDebianPackaging.cmake

set(debian "${SOURCE_DIR}/debian")
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env DESTDIR=${OUT}
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
file(GLOB_RECURSE installed RELATIVE "${OUT}" "${OUT}/*")

# Each line of an install list names a file or a folder of the tree, as
# dh_install reads it.
set(patterns)
foreach(list IN ITEMS formtidy.install formtidy-decode.install not-installed)
    file(STRINGS "${debian}/${list}" lines REGEX "^[^#]")
    foreach(line IN LISTS lines)
        list(APPEND patterns "${list}|${line}")
    endforeach()
endforeach()
set(used)
foreach(path IN LISTS installed)
    set(owners)
    foreach(entry IN LISTS patterns)
        string(REGEX REPLACE "^([^|]*)\\|(.*)$" "\\1;\\2" entry_parts "${entry}")
        list(GET entry_parts 0 list)
        list(GET entry_parts 1 pattern)
        string(FIND "${path}/" "${pattern}/" at)
        if(at EQUAL 0)
            list(APPEND owners ${list})
            list(APPEND used "${entry}")
        endif()
    endforeach()
    list(LENGTH owners count)
    if(NOT count EQUAL 1)
        message(SEND_ERROR "${path} is claimed by ${count} install lists: ${owners}")
    endif()
endforeach()
foreach(entry IN LISTS patterns)
    if(NOT entry IN_LIST used)
        message(SEND_ERROR "this install line matches nothing: ${entry}")
    endif()
endforeach()
foreach(path IN ITEMS usr/bin/formtidy-decode usr/lib/formtidy-decode
                      usr/share/man/man1/formtidy-decode.1)
    file(STRINGS "${debian}/formtidy-decode.install" decode_lines)
    if(NOT path IN_LIST decode_lines)
        message(SEND_ERROR "formtidy-decode's package does not carry ${path}")
    endif()
endforeach()

# The copyright file's licence paragraph, its lines unindented and its "."
# lines blank again, is LICENSE after its title and copyright lines.
file(READ "${debian}/copyright" copyright)
string(REGEX MATCH "\nLicense: Expat\n(( [^\n]*\n)+)" paragraph "${copyright}")
string(REGEX REPLACE "(^|\n) \\.?" "\\1" paragraph "${CMAKE_MATCH_1}")
file(READ "${SOURCE_DIR}/LICENSE" license)
string(REGEX REPLACE "^MIT License\n\nCopyright[^\n]*\n\n" "" license "${license}")
if(NOT paragraph STREQUAL license)
    message(SEND_ERROR "debian/copyright's licence text differs from LICENSE")
endif()
string(REGEX MATCH "\nCopyright: ([^\n]*)" ignored "${copyright}")
file(STRINGS "${SOURCE_DIR}/LICENSE" holder REGEX "^Copyright \\(c\\) ")
if(NOT holder STREQUAL "Copyright (c) ${CMAKE_MATCH_1}")
    message(SEND_ERROR "debian/copyright names another holder than LICENSE: ${holder}")
endif()

file(STRINGS "${debian}/changelog" top LIMIT_COUNT 1)
if(NOT top MATCHES "^formtidy \\(${VERSION}\\) ")
    message(SEND_ERROR "debian/changelog does not start at version ${VERSION}: ${top}")
endif()
