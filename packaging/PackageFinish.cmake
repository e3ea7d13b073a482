# Run by cpack after it has installed into its staging folder and before it packs it.
# Strips what CPack's plain strip leaves in the programs (the .comment and .note sections, as
# Debian's dh_strip does), and records the lintian tag that does not apply to this package.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
    execute_process(
        COMMAND ${CPACK_SORVEL_STRIP} --remove-section=.comment --remove-section=.note ${program}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cannot strip ${program}")
    endif()
endforeach()

# The package is made here, not uploaded to Debian, so there is no ITP bug for its first
# changelog entry to close. The service's unit relies on systemd's sandbox (a dynamic user, a
# read-only system): there is no init script to run it without one.
file(WRITE "${root}/share/lintian/overrides/sorvel"
    "sorvel: initial-upload-closes-no-bugs [usr/share/doc/sorvel/changelog.Debian.gz:1]\n"
    "sorvel: package-supports-alternative-init-but-no-init.d-script "
    "[usr/lib/systemd/system/sorvel-service.service]\n")
