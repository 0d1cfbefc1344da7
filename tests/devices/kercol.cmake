# Tests of the colour library (included by tests/devices/CMakeLists.txt).
kerris_add_test(NAME kercol_test LABEL devices
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/kercol_convert_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/kercol_parameters_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/kercol_exports_test.cpp
    LIBS kercol ${CMAKE_DL_LIBS})
target_compile_definitions(kercol_test PRIVATE KERCOL_LIBRARY_PATH="$<TARGET_FILE:kercol>")
# The vector conversions against the plain code, through the library's internal interface.
kerris_add_test(NAME kercol_paths_test LABEL devices
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/kercol_paths_test.cpp
    LIBS kercol_core)
