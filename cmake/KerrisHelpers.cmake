# Shared build rules: warnings, sanitizers, test registration.

add_library(kerris_warnings INTERFACE)
target_compile_options(kerris_warnings INTERFACE
    -Wall -Wextra -Wno-missing-field-initializers
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
    $<$<BOOL:${KERRIS_WERROR}>:-Werror>)

if(KERRIS_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()


# kerris_add_test(NAME <target> LABEL <area> SOURCES ... [LIBS ...] [ENVIRONMENT VAR=value ...])
# A GoogleTest program in build/tests, registered with CTest case by case under the area's label.
# Each test program gets a registry folder of its own in the build tree unless it sets one;
# suites that write settings still set a temporary one per case.
function(kerris_add_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    find_package(GTest REQUIRED)
    add_executable(${T_NAME} ${T_SOURCES})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                          kerris_warnings)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    # The environment reaches each case through /usr/bin/env as the test's launcher: CTest's
    # ENVIRONMENT property does not survive discovery of the cases intact.
    set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
        "/usr/bin/env;QT_QPA_PLATFORM=offscreen;KERRIS_BUILD_DIR=${CMAKE_BINARY_DIR};KERRIS_SOURCE_DIR=${CMAKE_SOURCE_DIR};KERRIS_REGISTRY_DIR=${CMAKE_BINARY_DIR}/tests/registry-home/${T_NAME};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp;${T_ENVIRONMENT}")
    include(GoogleTest)
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
endfunction()

# kerris_install_library(<target>...): a shared library of the suite, versioned (libX.so ->
# libX.so.1 -> libX.so.1.0) and installed into lib/. Programs load it by its plain name.
function(kerris_install_library)
    foreach(target ${ARGN})
        set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
        install(TARGETS ${target} LIBRARY DESTINATION lib NAMELINK_COMPONENT Runtime)
    endforeach()
endfunction()

# kerris_install_program(<target>...): a program of the suite, installed into bin/.
function(kerris_install_program)
    install(TARGETS ${ARGN} RUNTIME DESTINATION bin)
endfunction()
