# GoogleTest comes from the system package, or from its sources when the build
# targets another word size (the -m32 build) and the installed library cannot link.
if(TREL_GTEST_SOURCE_DIR)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${TREL_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own build names its targets GTest::* from 1.11 on.
    foreach(lib gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
    endforeach()
    if(WIN32)
        target_compile_options(gtest PRIVATE
            -include ${PROJECT_SOURCE_DIR}/tests/windows/no_debugger_output.h)
    endif()
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# trel_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One executable per behaviour area; every case is registered with CTest.
function(trel_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main trel_warnings)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(WIN32)
        # Windows test programs run whole under Wine (scripts/check-windows),
        # from the list below, rather than case by case through CTest.
        set_property(GLOBAL APPEND PROPERTY TREL_WINDOWS_TEST_PROGRAMS ${name})
        target_compile_options(${name} PRIVATE
            -include ${PROJECT_SOURCE_DIR}/tests/windows/posix_compat.h)
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120)
    endif()
endfunction()
