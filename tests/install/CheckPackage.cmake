# cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DCONFIG=... -DWORK=... -DVERSION=... -DDPKG_DEB=...
#       -DLINTIAN=... -P CheckPackage.cmake
# Builds the Debian package with cpack into a fresh WORK folder and checks it: one
# sorvel_VERSION-1_ARCH.deb whose dependencies dpkg-shlibdeps found, whose changelog and
# AppStream metadata name its version, with no lintian error or warning. Leaves WORK behind only
# when a check fails.

# The newest entries come first in both files.
file(STRINGS ${SOURCE_DIR}/packaging/changelog changelog LIMIT_COUNT 1)
if(NOT changelog MATCHES "^sorvel \\(${VERSION}-1\\) ")
    message(FATAL_ERROR "packaging/changelog does not begin with ${VERSION}-1: ${changelog}")
endif()
file(READ ${SOURCE_DIR}/packaging/sorvel.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    message(FATAL_ERROR
        "the newest release in sorvel.metainfo.xml is ${CMAKE_MATCH_1}, not ${VERSION}")
endif()

file(REMOVE_RECURSE ${WORK})
execute_process(
    COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -C ${CONFIG}
            -B ${WORK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack -G DEB failed (${result}):\n${output}")
endif()

file(GLOB packages ${WORK}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made ${count} packages, not one: ${packages}\n${output}")
endif()
get_filename_component(name ${packages} NAME)
if(NOT name MATCHES "^sorvel_${VERSION}-1_[a-z0-9]+\\.deb$")
    message(FATAL_ERROR "the package is named ${name}")
endif()

execute_process(COMMAND ${DPKG_DEB} --field ${packages} Depends
    RESULT_VARIABLE result OUTPUT_VARIABLE depends ERROR_VARIABLE depends)
foreach(library IN ITEMS libqt6webenginewidgets6 libsqlite3-0 libjpeg62-turbo libc6)
    if(NOT depends MATCHES "(^|, )${library} \\(>= ")
        message(FATAL_ERROR "Depends lacks ${library}: ${depends}")
    endif()
endforeach()

execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${packages}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lintian ${name}:\n${output}")
endif()
file(REMOVE_RECURSE ${WORK})
