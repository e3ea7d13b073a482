# Shared settings for the project's own targets: warnings in our code (never in the headers of
# the libraries we use), and errors when SORVEL_WERROR is on.
function(sorvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(SORVEL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# sorvel_library(name SOURCES ... LIBS ...): a static library of our own code.
function(sorvel_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    sorvel_warnings(${name})
endfunction()

# sorvel_test(name SOURCES ... LIBS ...): one GoogleTest executable with the shared
# main (one QApplication on the offscreen platform), registered with CTest.
function(sorvel_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE sorvel_test_support ${ARG_LIBS} GTest::gtest GTest::gmock)
    sorvel_warnings(${name})
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1"
            TIMEOUT 300)
endfunction()

# sorvel_draw_icons(<out_var> SVG <file> SIZES <n>...): PNG icons drawn from the scalable one at
# build time, as <binary dir>/icons/NxN/sorvel.png; <out_var> lists them.
function(sorvel_draw_icons out_var)
    cmake_parse_arguments(ARG "" "SVG" "SIZES" ${ARGN})
    find_program(RSVG_CONVERT rsvg-convert)
    if(NOT RSVG_CONVERT)
        message(FATAL_ERROR
            "rsvg-convert (package librsvg2-bin) draws the icons: scripts/install-deps.sh installs it")
    endif()
    set(pngs)
    foreach(size IN LISTS ARG_SIZES)
        set(dir ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size})
        add_custom_command(
            OUTPUT ${dir}/sorvel.png
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${dir}/sorvel.png ${ARG_SVG}
            DEPENDS ${ARG_SVG}
            COMMENT "Drawing the ${size}x${size} icon"
            VERBATIM)
        list(APPEND pngs ${dir}/sorvel.png)
    endforeach()
    set(${out_var} ${pngs} PARENT_SCOPE)
endfunction()
