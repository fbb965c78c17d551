# Shared build helpers. Each folder builds one static library zd_<folder> and, beside it,
# one test executable <folder>_tests from <folder>/tests/*.cpp.

set(ZENDRA_WARNINGS -Wall -Wextra)

if(ZENDRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer: its own build folder (scripts/tsan.sh); it cannot share a binary with ASan.
if(ZENDRA_TSAN)
  if(ZENDRA_SANITIZE OR ZENDRA_FUZZ)
    message(FATAL_ERROR "ZENDRA_TSAN builds alone: turn ZENDRA_SANITIZE and ZENDRA_FUZZ off")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# zd_library(<name> SOURCES ... [DEPS ...])
function(zd_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(zd_${name} STATIC ${ARG_SOURCES})
  target_compile_options(zd_${name} PRIVATE ${ZENDRA_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(zd_${name} PUBLIC ${ARG_DEPS})
  endif()
  set_property(GLOBAL APPEND PROPERTY ZENDRA_LIBRARIES zd_${name})
endfunction()

# zd_tests(<folder> [DEPS ...]): builds <folder>/tests/*.cpp into <folder>_tests and
# registers every test case with CTest. The working directory is the test's binary folder;
# ZENDRA_SOURCE_DIR and ZENDRA_BINARY_DIR are set for tests that need files.
function(zd_tests folder)
  if(NOT ZENDRA_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT test_sources)
    return()
  endif()
  add_executable(${folder}_tests ${test_sources})
  target_compile_options(${folder}_tests PRIVATE ${ZENDRA_WARNINGS})
  target_link_libraries(${folder}_tests PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${folder}_tests PRIVATE
    ZENDRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ZENDRA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # The listing runs before the tests; on a loaded machine, or under ThreadSanitizer, starting
  # an executable can take longer than the default five seconds.
  gtest_discover_tests(${folder}_tests
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    TEST_PREFIX "${folder}."
    PROPERTIES ENVIRONMENT "ZENDRA_TEST=1;ZENDRA_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZENDRA_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

if(ZENDRA_FUZZ)
  # Undefined behaviour stops the run at its first report, as in the test build, so that the
  # fuzzer keeps the input as a finding instead of going on.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  # The program and the tools link the same instrumented libraries.
  add_link_options(-fsanitize=address,undefined)
endif()

# zd_folder_library(<name> [DIRS subdir ...] [DEPS ...]): the library zd_<name> from every .cpp
# in the folder (and the listed subfolders). Several people add files to one folder at once,
# so sources are found, not listed. A folder with no sources yet builds nothing.
function(zd_folder_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS" ${ARGN})
  set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(d IN LISTS ARG_DIRS)
    list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${patterns})
  if(NOT sources)
    return()
  endif()
  zd_library(${name} SOURCES ${sources} DEPS ${ARG_DEPS})
endfunction()
