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
