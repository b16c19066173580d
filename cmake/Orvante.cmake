# Helpers shared by every library, test and tool of the project.

add_library(orvante_warnings INTERFACE)
# -Wformat=2: no text that is not a literal (a peer's message, say) can ever be
# taken for a printf format.
target_compile_options(orvante_warnings INTERFACE -Wall -Wextra -Wformat=2)

if(ORVANTE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The libraries are the programs' own: they are installed in a folder of
# their own, where the programs look first.
set(ORVANTE_LIBRARY_DIR lib/orvante)
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${ORVANTE_LIBRARY_DIR}")

# orvante_library(NAME INCLUDE_AS path SOURCES ... [DEPENDS ...] [PRIVATE_DEPENDS ...])
# A shared library whose headers, in the calling folder, are included as
# <INCLUDE_AS/Header.h>. It exports an include root of its own that holds
# only that folder (a link in the build tree), so that a target sees the
# headers of the libraries it links and nothing else of the tree. DEPENDS
# are the libraries its public headers need; PRIVATE_DEPENDS those only its
# sources need.
function(orvante_library name)
  cmake_parse_arguments(ARG "" "INCLUDE_AS" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${name})
  get_filename_component(parent ${root}/${ARG_INCLUDE_AS} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${ARG_INCLUDE_AS} SYMBOLIC)
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${root}>)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE orvante_warnings ${ARG_PRIVATE_DEPENDS})
  # Installed beside each other, each finding the others where it is.
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${name} LIBRARY DESTINATION ${ORVANTE_LIBRARY_DIR})
endfunction()

# orvante_test(NAME SOURCES ... DEPENDS ... [LOCK RESOURCE])
# A GoogleTest binary whose tests CTest lists, runs and reports one by one
# (found when ctest runs, so that building needs no test run). Tests that
# share a LOCK never run at the same time.
include(GoogleTest)
function(orvante_test name)
  if(NOT ORVANTE_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "LOCK" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orvante_warnings ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
  set(lock "")
  if(ARG_LOCK)
    set(lock RESOURCE_LOCK ${ARG_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${lock})
endfunction()

# orvante_qt_test(NAME SOURCES ... DEPENDS ...)
# A test of widgets: it runs on Qt's offscreen platform, and the caches that
# the font libraries under Qt keep for the whole process are not reported as
# leaks.
function(orvante_qt_test name)
  if(NOT ORVANTE_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE orvante_warnings ${ARG_DEPENDS} Qt6::Test GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/qt-lsan.supp")
endfunction()

# ---------------------------------------------------------------------------
# Fuzzing (ORVANTE_FUZZ, clang only)
#
# Every library and test is instrumented for libFuzzer and built with
# AddressSanitizer and UndefinedBehaviorSanitizer that stop at the first
# report; orvante_fuzz_target() links the fuzzer's own main.
if(ORVANTE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORVANTE_FUZZ needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# orvante_fuzz_target(NAME SOURCES ... DEPENDS ...)
# A libFuzzer binary; nothing is built without ORVANTE_FUZZ.
function(orvante_fuzz_target name)
  if(NOT ORVANTE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE orvante_warnings ${ARG_DEPENDS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
