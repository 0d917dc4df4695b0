# The tests that run under Wine on the x86_64 Windows build. GoogleTest is
# compiled from Debian's googletest source package with the same compiler.
# The i686 build only ships: this machine's Wine runs 64-bit programs.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()
set(GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest's source folder")
if(NOT EXISTS ${GTEST_SOURCE}/src/gtest-all.cc)
    message(STATUS "No GoogleTest source at ${GTEST_SOURCE}: Windows tests not built")
    return()
endif()

add_library(gtest_mingw STATIC ${GTEST_SOURCE}/src/gtest-all.cc)
target_include_directories(gtest_mingw SYSTEM PUBLIC ${GTEST_SOURCE}/include
                           PRIVATE ${GTEST_SOURCE})
target_compile_options(gtest_mingw PRIVATE -w -Wno-error)
add_library(gtest_main_mingw STATIC ${GTEST_SOURCE}/src/gtest_main.cc)
target_link_libraries(gtest_main_mingw PUBLIC gtest_mingw)
target_compile_options(gtest_main_mingw PRIVATE -w -Wno-error)

function(ferrowin_windows_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE gtest_main_mingw)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    # Beside Pellinor.dll, which the tests load from their own folder.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()

# The same contract bodies as on Linux, with the Win32 fixture, and the
# Win32-only checks (a second process, the real registry and mutex).
ferrowin_windows_test(platform_tests
    Platform/Contract/FileSystemContract.cpp
    Platform/Contract/RegistryContract.cpp
    Platform/Contract/ProfileContract.cpp
    Platform/Contract/SystemContract.cpp
    Platform/Contract/Win32Contract.cpp
    Platform/Win32PlatformTest.cpp
    Platform/Sha256Test.cpp)
target_link_libraries(platform_tests PRIVATE platform)

ferrowin_windows_test(support_tests
    Brennick/HelpersTest.cpp
    Brennick/IniTest.cpp
    Server/Ferrowin/RegistryKeyTest.cpp
    Server/Ferrowin/RegistryKeyWin32Test.cpp)
target_link_libraries(support_tests PRIVATE ferrowin_core platform_fake)

# Pellinor.dll as the importer loads it, and the importer's event binding
# finding it through the registry.
ferrowin_windows_test(pellinor_tests
    Pellinor/PellinorWin32Test.cpp
    Server/Ferrowin/EventReportWin32Test.cpp)
target_link_libraries(pellinor_tests PRIVATE ferrowin_core)
add_dependencies(pellinor_tests pellinor)

# The embedded database under Wine, when SQLite's amalgamation is there. The
# source folder is reached through Wine's Z: drive, which maps the Linux root.
if(TARGET sqlite3_amalgamation)
    ferrowin_windows_test(embedded_tests
        Platform/Ado/Embedded/BulkLoadTest.cpp
        Platform/Ado/Embedded/BulkValuesTest.cpp
        Schema/SchemaTest.cpp)
    target_link_libraries(embedded_tests PRIVATE ferrowin_database loggen tsqlschema)
    target_compile_definitions(embedded_tests PRIVATE SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
endif()
