# Libraries of the Windows build. Boost comes from the host's headers through
# a folder that holds only a `boost` link: /usr/include itself would bring
# glibc's headers into the mingw build.
set(ZS_WITH_SHELL OFF CACHE BOOL "The Qt shell is Linux only" FORCE)

set(zs_boost_shim ${CMAKE_BINARY_DIR}/boost-shim)
file(MAKE_DIRECTORY ${zs_boost_shim})
if(NOT EXISTS ${zs_boost_shim}/boost)
    file(CREATE_LINK /usr/include/boost ${zs_boost_shim}/boost SYMBOLIC)
endif()
add_library(zs_boost_headers INTERFACE)
target_include_directories(zs_boost_headers SYSTEM INTERFACE ${zs_boost_shim})
# Asio brings <windows.h> in; without the window and drawing parts its macros
# (WM_USER, ERROR...) cannot clash with the programs' own message names.
target_compile_definitions(zs_boost_headers INTERFACE _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN
                                                      NOMINMAX NOUSER NOGDI)
target_link_libraries(zs_boost_headers INTERFACE ws2_32 mswsock)
foreach(component system thread date_time random)
    add_library(Boost::${component} ALIAS zs_boost_headers)
endforeach()
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)

find_package(ZLIB REQUIRED)

# Test programs (and build steps that run a built program) run under Wine in
# a prefix of this build tree, never in a user's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env ZEBRIX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${CMAKE_SOURCE_DIR}/scripts/wine-run)

if(ZS_WITH_TESTS)
    # GoogleTest from the host's sources, built with the cross compiler.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    foreach(lib gtest gtest_main gmock gmock_main)
        if(NOT TARGET GTest::${lib})
            add_library(GTest::${lib} ALIAS ${lib})
        endif()
    endforeach()
endif()
