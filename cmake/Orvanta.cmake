# Helpers shared by every target of the project.

if(ORVANTA_SANITIZE)
    add_compile_options(-fsanitize=${ORVANTA_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${ORVANTA_SANITIZE})
endif()

# Warnings are errors on our own code only; third-party headers come in as
# system includes through their imported targets.
function(orvanta_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# orvanta_library(<subsystem> SOURCES ... [DEPENDS ...])
# Declares the library orvanta_<subsystem>; headers are included by path from src/.
function(orvanta_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    set(target orvanta_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
    orvanta_warnings(${target})
endfunction()

# orvanta_test(<subsystem> SOURCES ... DEPENDS ...)
# One GoogleTest executable per subsystem. The test support library knows
# the source root (for ../shared/testdata and tests/data) and the directory of
# the built executables and resources.
function(orvanta_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    set(target orvanta_${name}_tests)
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_DEPENDS} orvanta_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
    orvanta_warnings(${target})
    gtest_discover_tests(${target}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen
        DISCOVERY_TIMEOUT 60)
endfunction()
