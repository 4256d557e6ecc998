# GoogleTest from Debian's source package, built with whatever toolchain this build uses.
set(CORVEL_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${CORVEL_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
        target_compile_options(${t} PRIVATE -w)
    endif()
endforeach()
include(GoogleTest)

# The properties every CTest test of the Windows build may take: its time limit, the resources
# it must not share with a test running beside it (pipe names, mutex names, folders), and its
# environment.
function(corvel_set_test_properties name timeout)
    cmake_parse_arguments(P "" "" "LOCK;ENVIRONMENT" ${ARGN})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
    if(P_LOCK)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${P_LOCK}")
    endif()
    if(P_ENVIRONMENT)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${P_ENVIRONMENT}")
    endif()
endfunction()

# corvel_add_test(<name> SOURCES <files...> [LIBS <libs...>] [LOCK <resources...>] [TIMEOUT <s>]
#                 [ENVIRONMENT <VAR=value...>] [NO_MAIN])
# Natively every test case is its own CTest test; under Wine one CTest test runs the
# whole program, since each Wine process start costs far more than a test case.
function(corvel_add_test name)
    if(CORVEL_FUZZ)
        return()
    endif()
    cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LOCK;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(T_NO_MAIN)
        target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest)
    else()
        target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    if(CORVEL_WINDOWS)
        add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
        corvel_set_test_properties(${name} ${T_TIMEOUT} LOCK ${T_LOCK} ENVIRONMENT ${T_ENVIRONMENT})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
    endif()
endfunction()

# corvel_add_command_test(<name> COMMAND <command...> [LOCK <resources...>] [TIMEOUT <s>]
#                         [ENVIRONMENT <VAR=value...>])
# A CTest test that runs a command rather than a test program of its own: some cases of a test
# program, a benchmark, a script.
function(corvel_add_command_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "COMMAND;LOCK;ENVIRONMENT" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${T_COMMAND})
    corvel_set_test_properties(${name} ${T_TIMEOUT} LOCK ${T_LOCK} ENVIRONMENT ${T_ENVIRONMENT})
endfunction()
