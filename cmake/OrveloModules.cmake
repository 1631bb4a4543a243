# orvelo_add_module(name [DIR folder] DEPENDS libs...): a static library orvelo_<name> of every
# source in src/<folder> (folder defaults to the name). A folder with no sources yet becomes an
# interface library, so dependants link.
function(orvelo_add_module name)
  cmake_parse_arguments(M "" "DIR" "DEPENDS" ${ARGN})
  if(NOT M_DIR)
    set(M_DIR ${name})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${M_DIR}/*.cpp)
  # A program's entry point is its own target, not part of the library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${M_DIR}/*.h)
    add_library(orvelo_${name} STATIC ${sources} ${headers})
    target_include_directories(orvelo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orvelo_${name} PUBLIC ${M_DEPENDS})
  else()
    add_library(orvelo_${name} INTERFACE)
    target_include_directories(orvelo_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(orvelo_${name} INTERFACE ${M_DEPENDS})
  endif()
endfunction()

# orvelo_add_test(name SOURCES files... LIBS libs... [LABELS labels...])
# Every test process runs with Qt's offscreen platform, a private settings and data folder of
# its own and a silent audio sink (set up by the test main before anything else runs), so no
# test touches the user's store, screen or speakers, and parallel tests never share a store.
function(orvelo_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp
                         ${PROJECT_SOURCE_DIR}/tests/support/SanitizerOptions.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} orvelo_test_support)
  set(home ${CMAKE_BINARY_DIR}/test-home/${name})
  file(MAKE_DIRECTORY ${home})
  target_compile_definitions(${name} PRIVATE ORVELO_TEST_HOME="${home}" ORVELO_BUILD_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} PROPERTIES LABELS "${T_LABELS}" DISCOVERY_TIMEOUT 30)
endfunction()
