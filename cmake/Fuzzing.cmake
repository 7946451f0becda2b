# Flags for the fuzzing build (-DQUILLMOR_FUZZ=ON). Our own code carries the coverage
# instrumentation libFuzzer steers by and both sanitizers; Qt, libxml2, ICU and minizip stay
# as Debian built them. Any sanitizer report ends the run, so that it counts as a finding.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLMOR_FUZZ needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
