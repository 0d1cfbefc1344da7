# Picture upload, block upload, headers and flags of the camera library.
kerris_add_test(NAME upload_frame_test LABEL camera
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/upload_frame_test.cpp ${CMAKE_SOURCE_DIR}/camera/frame.cpp)

# The exports against the fake transport and colour libraries, found first on the module path.
foreach(suite upload_test blocks_test)
    kerris_add_test(NAME camera_${suite} LABEL camera
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp
        LIBS kerriscp kerris_fake_control
        ENVIRONMENT KERRIS_MODULE_PATH=${CMAKE_BINARY_DIR}/tests/fakes)
    add_dependencies(camera_${suite} kerris_fakes)
endforeach()
