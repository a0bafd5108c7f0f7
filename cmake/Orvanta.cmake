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
# One GoogleTest executable per subsystem. Tests run with the source tree's
# root as ORVANTA_SOURCE_DIR so they can find ../shared/testdata and tests/data.
function(orvanta_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    set(target orvanta_${name}_tests)
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_DEPENDS} orvanta_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
    orvanta_warnings(${target})
    gtest_discover_tests(${target}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        PROPERTIES ENVIRONMENT "ORVANTA_SOURCE_DIR=${PROJECT_SOURCE_DIR};ORVANTA_BIN_DIR=${ORVANTA_RUNTIME_DIR};QT_QPA_PLATFORM=offscreen"
        DISCOVERY_TIMEOUT 60)
endfunction()
