# The hardening a Debian package's programs are built with (what dpkg-buildflags gives): stack
# protector, fortified glibc calls, position-independent executables, read-only relocations and
# immediate binding. For every target, the tests too, so that they run what the package ships.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

option(SORVEL_HARDENING "Build with the stack protector, _FORTIFY_SOURCE, PIE and full RELRO" ON)

if(SORVEL_HARDENING)
    check_pie_supported(LANGUAGES CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)

    foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "SORVEL_HAS${flag}" result)
        check_cxx_compiler_flag(${flag} ${result})
        if(${result})
            add_compile_options(${flag})
        endif()
    endforeach()

    # glibc only fortifies optimised code and warns at -O0, which -Werror would turn into an error.
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
