# A Qt Test suite: offscreen, with a settings folder of its own, so that
# nothing reaches the real user's configuration, and the pointer files
# beside it. DATASOURCES: it uses the shared test data sources, which no two
# suites may use at once.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/PointerFiles.cmake)
find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

function(qb_add_qt_test target source)
  cmake_parse_arguments(ARG "DATASOURCES" "" "LIBRARIES" ${ARGN})
  add_executable(${target} ${source})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} qb_test_support Qt6::Test)
  qb_copy_pointer_files(${target})
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/gui/laptop-screen.json;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/config-home-${target};XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/state-home-${target}"
    TIMEOUT 120)
  if(ARG_DATASOURCES)
    set_tests_properties(${target} PROPERTIES RESOURCE_LOCK odbc_datasources)
  endif()
endfunction()
