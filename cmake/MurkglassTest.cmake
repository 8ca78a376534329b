# mg_add_qtest(<name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable registered with CTest; windows run on the
# offscreen platform so every test runs headless.
function(mg_add_qtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software;MURKGLASS_SOURCE_DIR=${PROJECT_SOURCE_DIR};MURKGLASS_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
