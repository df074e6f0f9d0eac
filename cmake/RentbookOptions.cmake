# Settings every target shares: the language, the include root, warnings and sanitizers.
add_library(rentbook_common INTERFACE)
target_compile_features(rentbook_common INTERFACE cxx_std_20)
target_include_directories(rentbook_common INTERFACE ${CMAKE_SOURCE_DIR})
target_compile_definitions(rentbook_common INTERFACE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(RENTBOOK_TESTS OR RENTBOOK_SANITIZE)
    target_compile_options(rentbook_common INTERFACE -Wall -Wextra -Wpedantic -Werror)
endif()
if(RENTBOOK_SANITIZE)
    target_compile_options(rentbook_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(rentbook_common INTERFACE -fsanitize=address,undefined)
endif()

# The program's own code: no silent conversion of byte strings to text.
add_library(rentbook_options INTERFACE)
target_link_libraries(rentbook_options INTERFACE rentbook_common)
target_compile_definitions(rentbook_options INTERFACE QT_NO_CAST_FROM_ASCII)

# Tests may write text literals as they stand.
add_library(rentbook_test_options INTERFACE)
target_link_libraries(rentbook_test_options INTERFACE rentbook_common)
target_compile_definitions(rentbook_test_options INTERFACE QT_RESTRICTED_CAST_FROM_ASCII)

# rentbook_add_library(name SOURCES ... LIBS ...): one static library of a subsystem.
function(rentbook_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE rentbook_options PUBLIC rentbook_common ${ARG_LIBS})
endfunction()

# rentbook_add_test(name SOURCES ... LIBS ...): one Qt Test executable, run headless by CTest.
function(rentbook_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE rentbook_test_options Qt6::Test test_exit_guard ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    # Every test may use the throwaway PostgreSQL cluster of the fixture pg_cluster (tests/CMakeLists.txt);
    # its connection settings are in the KEY=VALUE file RENTBOOK_TEST_PG_ENV names.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0;RENTBOOK_TEST_PG_ENV=${CMAKE_BINARY_DIR}/test-postgres/env"
        FIXTURES_REQUIRED pg_cluster
        TIMEOUT 300)
    if(TARGET make_empty_ledger_run)
        add_dependencies(${name} make_empty_ledger_run)
    endif()
endfunction()
