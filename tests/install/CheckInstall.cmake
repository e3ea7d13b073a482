# cmake -DBUILD_DIR=... -DCONFIG=... -DPREFIX=... -DDESKTOP_FILE_VALIDATE=... -DAPPSTREAMCLI=...
#       -P CheckInstall.cmake
# Runs cmake --install into a fresh PREFIX and checks what the menu, the software centres and the
# package rely on: every file in its place, icons of the size their folder names, manual pages
# packed the Debian way, a desktop entry and AppStream metadata that validate and point at each
# other and at the installed program and icon. Leaves PREFIX behind only when a check fails.

set(failures "")
function(fail message)
    set(failures "${failures}${message}\n" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(
    COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --config ${CONFIG}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(icon_sizes 16 22 24 32 48 64 128 256)
set(expected
    bin/sorvel
    bin/sorvel-service
    share/sorvel/catalog.tsv
    share/sorvel/catalog.sqlite
    lib/systemd/system/sorvel-service.service
    share/applications/sorvel.desktop
    share/icons/hicolor/scalable/apps/sorvel.svg
    share/man/man1/sorvel.1.gz
    share/man/man1/sorvel-service.1.gz
    share/doc/sorvel/copyright
    share/doc/sorvel/changelog.Debian.gz)
foreach(size IN LISTS icon_sizes)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/sorvel.png)
endforeach()
foreach(file IN LISTS expected)
    if(NOT EXISTS ${PREFIX}/${file})
        fail("missing: ${file}")
    endif()
endforeach()

# The installed service runs from the prefix (no build-tree library path needed).
execute_process(COMMAND ${PREFIX}/bin/sorvel-service --help
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Usage: sorvel-service")
    fail("bin/sorvel-service --help: ${result}\n${output}")
endif()

# The installed program answers --version from the prefix, without a display.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM ${PREFIX}/bin/sorvel --version
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "^Sorvel Browser [0-9]")
    fail("bin/sorvel --version: ${result}\n${output}")
endif()

# The unit starts the installed program, never one of the build tree.
set(unit ${PREFIX}/lib/systemd/system/sorvel-service.service)
if(EXISTS ${unit})
    file(STRINGS ${unit} exec_start REGEX "^ExecStart=")
    if(NOT exec_start MATCHES "^ExecStart=/[^ ]*/bin/sorvel-service ")
        fail("the systemd unit starts '${exec_start}'")
    endif()
    if(SYSTEMD_ANALYZE)
        execute_process(COMMAND ${SYSTEMD_ANALYZE} verify --man=no ${unit}
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(output MATCHES "${unit}:")
            fail("systemd-analyze verify:\n${output}")
        endif()
    endif()
endif()

# A PNG's width and height are the two big-endian 32-bit numbers at byte 16.
foreach(size IN LISTS icon_sizes)
    set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/sorvel.png)
    if(EXISTS ${png})
        file(READ ${png} header HEX LIMIT 24)
        string(SUBSTRING "${header}" 32 16 dimensions)
        string(SUBSTRING "${header}" 0 16 signature)
        string(SUBSTRING "${dimensions}" 0 8 width_hex)
        string(SUBSTRING "${dimensions}" 8 8 height_hex)
        math(EXPR width "0x${width_hex}")
        math(EXPR height "0x${height_hex}")
        if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size
           OR NOT height EQUAL size)
            fail("${size}x${size}/apps/sorvel.png is no ${size}x${size} PNG (${width}x${height})")
        endif()
    endif()
endforeach()

# gzip -9n: deflate, no flags (so no file name), time stamp 0, "maximum compression" byte.
foreach(file IN ITEMS share/man/man1/sorvel.1.gz share/man/man1/sorvel-service.1.gz
                      share/doc/sorvel/changelog.Debian.gz)
    if(EXISTS ${PREFIX}/${file})
        file(READ ${PREFIX}/${file} header HEX LIMIT 9)
        if(NOT header STREQUAL "1f8b08000000000002")
            fail("${file} is not packed with gzip -9n (header ${header})")
        endif()
    endif()
endforeach()

set(desktop ${PREFIX}/share/applications/sorvel.desktop)
if(EXISTS ${desktop})
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # Hints (such as two main categories) are advice; warnings and errors are not.
    if(NOT result EQUAL 0 OR output MATCHES "(error|warning):")
        fail("desktop-file-validate:\n${output}")
    endif()
    file(STRINGS ${desktop} exec REGEX "^Exec=")
    file(STRINGS ${desktop} icon REGEX "^Icon=")
    if(NOT exec MATCHES "^Exec=sorvel( |$)")
        fail("the desktop entry starts '${exec}', not the installed sorvel")
    endif()
    if(NOT icon STREQUAL "Icon=sorvel")
        fail("the desktop entry shows '${icon}', not the installed icon sorvel")
    endif()
endif()

# Exactly one metainfo file, named after its component id.
file(GLOB metainfos ${PREFIX}/share/metainfo/*)
list(LENGTH metainfos count)
if(NOT count EQUAL 1)
    fail("share/metainfo holds ${count} files, not one: ${metainfos}")
else()
    file(READ ${metainfos} metainfo)
    string(REGEX MATCH "<id>([^<]+)</id>" id "${metainfo}")
    get_filename_component(name ${metainfos} NAME)
    if(NOT name STREQUAL "${CMAKE_MATCH_1}.metainfo.xml")
        fail("the metainfo file ${name} is not named after its id ${CMAKE_MATCH_1}")
    endif()
    if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">sorvel.desktop</launchable>")
        fail("the metainfo does not launch sorvel.desktop")
    endif()
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${metainfos}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("appstreamcli validate --no-net:\n${output}")
    endif()
    # The installed tree as a software centre reads it: metainfo, desktop entry and icons.
    execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${PREFIX}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        fail("appstreamcli validate-tree --no-net:\n${output}")
    endif()
endif()

if(NOT failures STREQUAL "")
    message(FATAL_ERROR "the installed tree in ${PREFIX} is wrong:\n${failures}")
endif()
file(REMOVE_RECURSE ${PREFIX})
