# orvelo_add_module(name [DIR folder] DEPENDS libs...): a static library orvelo_<name> of every
# source in src/<folder> (folder defaults to the name). A folder with no sources yet becomes an
# interface library, so dependants link.
function(orvelo_add_module name)
  cmake_parse_arguments(M "" "DIR" "DEPENDS" ${ARGN})
  if(NOT M_DIR)
    set(M_DIR ${name})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${M_DIR}/*.cpp)
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
# Every test runs with Qt's offscreen platform, a private settings folder and a silent
# audio sink, so no test touches the user's store, screen or speakers.
function(orvelo_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} orvelo_test_support)
  set(home ${CMAKE_BINARY_DIR}/test-home/${name})
  file(MAKE_DIRECTORY ${home}/config ${home}/data)
  set(env
      QT_QPA_PLATFORM=offscreen
      XDG_CONFIG_HOME=${home}/config
      XDG_DATA_HOME=${home}/data
      XDG_RUNTIME_DIR=${home}
      GST_AUDIO_SINK=fakesink
      ORVELO_TEST_TMP=${home}
      ORVELO_BUILD_DIR=${CMAKE_BINARY_DIR})
  gtest_discover_tests(${name}
      PROPERTIES ENVIRONMENT "${env}" LABELS "${T_LABELS}"
      DISCOVERY_TIMEOUT 30)
endfunction()
