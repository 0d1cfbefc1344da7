# Suites of the virtual camera and its transport libraries (label "devices").
kerris_add_test(NAME virtualcam_frame_test LABEL devices
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_frame_test.cpp
    LIBS kerris_virtualcam)

# Suites that load build/lib/libkerrisu.so and libkerrissl.so by file name.
function(kerris_virtualcam_test name)
    kerris_add_test(NAME ${name} LABEL devices SOURCES ${ARGN}
        LIBS kerris_virtualcam kerris_registry ${CMAKE_DL_LIBS})
    add_dependencies(${name} kerrisu kerrissl)
endfunction()
kerris_virtualcam_test(virtualcam_transport_test ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_transport_test.cpp)
kerris_virtualcam_test(virtualcam_commands_test ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_commands_test.cpp)
kerris_virtualcam_test(virtualcam_faults_test ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_faults_test.cpp)

# The camera library on the virtual camera with the real colour library.
kerris_virtualcam_test(virtualcam_end_to_end_test
    ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_end_to_end_test.cpp)
target_link_libraries(virtualcam_end_to_end_test PRIVATE kerriscp)
add_dependencies(virtualcam_end_to_end_test kercol)
kerris_virtualcam_test(virtualcam_random_test ${CMAKE_CURRENT_SOURCE_DIR}/virtualcam_random_test.cpp)
