# Our own code builds with a strict warning set; Qt's and GoogleTest's headers
# come in as system headers and are not held to it. Warnings become errors only
# under KOVA_WERROR (scripts/test and CI turn it on): a packager or a user with
# another compiler release still gets a build.
option(KOVA_WERROR "Treat warnings in our own code as errors" OFF)
set(_kova_werror $<$<BOOL:${KOVA_WERROR}>:-Werror>)

function(kova_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
        -Wnull-dereference -Wformat=2 ${_kova_werror})
endfunction()

# C sources get the C subset of the warning set.
function(kova_c_warnings target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic ${_kova_werror}>)
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, so
# subsystems add their tests and benchmarks without editing a shared file.
function(kova_add_subdirectories)
    file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT _children)
    foreach(_child IN LISTS _children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
            add_subdirectory(${_child})
        endif()
    endforeach()
endfunction()

# Tests that need the program's fixed port 11111 run in a network namespace of
# their own where the system gives one to an ordinary user: they never meet
# another server on the port and need no lock. Tried once per configure.
set(KOVA_OWN_NETWORK_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/../tests/support/own-network)
cmake_path(NORMAL_PATH KOVA_OWN_NETWORK_LAUNCHER)
option(KOVA_TEST_OWN_NETWORK "Run fixed-port tests in a network namespace of their own when possible" ON)
set(_kova_own_network OFF)
if(KOVA_TEST_OWN_NETWORK)
    execute_process(COMMAND ${KOVA_OWN_NETWORK_LAUNCHER} true
        RESULT_VARIABLE _kova_netns_rc OUTPUT_QUIET ERROR_QUIET TIMEOUT 10)
    if(_kova_netns_rc EQUAL 0)
        set(_kova_own_network ON)
    endif()
endif()
# In the cache, so scripts can tell (scripts/test).
set(KOVA_OWN_NETWORK ${_kova_own_network} CACHE INTERNAL
    "Fixed-port tests run in network namespaces of their own")
if(KOVA_OWN_NETWORK)
    message(STATUS "Fixed-port tests: each in a network namespace of its own")
else()
    message(STATUS "Fixed-port tests: no network namespace here; they take the lock kova_port_11111")
endif()

# kova_gtest(NAME name LABEL unit|gui|e2e SOURCES ... LIBS ... [FIXED_PORT]
#            [RESOURCE_LOCK lock] [TIMEOUT s])
# Tests that need a QApplication list kova_qt_test_main in LIBS.
# One GoogleTest executable; each test case becomes one CTest test carrying the label.
# Widget tests run on the offscreen platform so they need no display.
# FIXED_PORT (or the older RESOURCE_LOCK kova_port_11111): the tests listen on or
# connect to 127.0.0.1:11111; see KOVA_OWN_NETWORK above.
function(kova_gtest)
    cmake_parse_arguments(T "FIXED_PORT" "NAME;LABEL;RESOURCE_LOCK;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(T_RESOURCE_LOCK STREQUAL "kova_port_11111")
        set(T_FIXED_PORT ON)
        unset(T_RESOURCE_LOCK)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    kova_warnings(${T_NAME})
    # gtest_main is an archive: a test that brings its own main() keeps it.
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    # One variable only: gtest_discover_tests passes PROPERTIES on as a flat
    # list, so a second one would split the pairs and lose the properties after
    # it. The tests find kova-crated beside themselves in bin/.
    set(_props LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    if(T_FIXED_PORT)
        if(KOVA_OWN_NETWORK)
            # gtest_discover_tests runs the listing and every test through the
            # target's emulator, also when not cross-compiling.
            set_property(TARGET ${T_NAME} PROPERTY CROSSCOMPILING_EMULATOR
                ${KOVA_OWN_NETWORK_LAUNCHER})
        elseif(T_RESOURCE_LOCK)
            # One lock only: a list would split the flat PROPERTIES list.
            message(FATAL_ERROR "${T_NAME}: FIXED_PORT takes no other RESOURCE_LOCK")
        else()
            set(T_RESOURCE_LOCK kova_port_11111)
        endif()
    endif()
    if(T_RESOURCE_LOCK)
        list(APPEND _props RESOURCE_LOCK ${T_RESOURCE_LOCK})
    endif()
    include(GoogleTest)
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        PROPERTIES ${_props})
endfunction()
