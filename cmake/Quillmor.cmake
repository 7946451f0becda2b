# quillmor_add_test(<name> SOURCES <files...> LIBS <targets...> [RUNNER <command...>])
# One Qt Test program, registered with CTest under <name>, run on the offscreen platform; with
# RUNNER, as that command's last argument.
function(quillmor_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;RUNNER" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quillmor_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${ARG_RUNNER} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLMOR_BUILD_DIR=${CMAKE_BINARY_DIR}"
        TIMEOUT 300)
endfunction()
