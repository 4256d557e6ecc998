# corvel_add_fuzzer(<name> SOURCES <files...> LIBS <libs...> CORPUS <dir> [MAX_LEN <n>])
# A libFuzzer target and a CTest test that replays its committed corpus and then runs a fixed
# number of inputs from a fixed seed, so that a CI run is bounded and repeatable.
set(CORVEL_FUZZ_RUNS 500000 CACHE STRING "Inputs each fuzzer runs in a test")
function(corvel_add_fuzzer name)
    cmake_parse_arguments(F "" "CORPUS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
    if(NOT F_MAX_LEN)
        set(F_MAX_LEN 4096)
    endif()
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME ${name}
        COMMAND bash ${PROJECT_SOURCE_DIR}/tools/run-fuzzer.sh $<TARGET_FILE:${name}>
                ${F_CORPUS} ${CMAKE_CURRENT_BINARY_DIR}/${name}-found ${CORVEL_FUZZ_RUNS} ${F_MAX_LEN})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
