# Warnings are errors in our own code only; Qt's and GoogleTest's headers come
# in as system headers and are not held to it.
function(kova_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
        -Wnull-dereference -Wformat=2 -Werror)
endfunction()

# C sources get the C subset of the warning set.
function(kova_c_warnings target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic -Werror>)
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

# kova_gtest(NAME name LABEL unit|gui|e2e SOURCES ... LIBS ... [RESOURCE_LOCK lock])
# Tests that need a QApplication list kova_qt_test_main in LIBS.
# One GoogleTest executable; each test case becomes one CTest test carrying the label.
# Widget tests run on the offscreen platform so they need no display.
function(kova_gtest)
    cmake_parse_arguments(T "" "NAME;LABEL;RESOURCE_LOCK;TIMEOUT" "SOURCES;LIBS" ${ARGN})
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
    if(T_RESOURCE_LOCK)
        list(APPEND _props RESOURCE_LOCK ${T_RESOURCE_LOCK})
    endif()
    include(GoogleTest)
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
        PROPERTIES ${_props})
endfunction()
