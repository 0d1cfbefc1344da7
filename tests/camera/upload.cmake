# Picture upload, block upload, headers and flags of the camera library.
kerris_add_test(NAME upload_frame_test LABEL camera
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/upload_frame_test.cpp ${CMAKE_SOURCE_DIR}/camera/frame.cpp)
