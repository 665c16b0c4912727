# Build helpers shared by every subsystem, test and benchmark.

function(varnelle_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                                           -Wno-missing-field-initializers)
  if(VARNELLE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# varnelle_library(<name> DEPS <targets...>)
# One static library per subsystem; its sources are every .cpp/.h/.ui/.qrc in
# its folder, so adding a file needs no edit here.
function(varnelle_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(${name} STATIC ${sources})
  # Moc must run again when a file joins the folder, but it only watches the
  # files it saw last time. When the folder's files change, drop its stamp.
  set(source_list ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.txt)
  set(previous "")
  if(EXISTS ${source_list})
    file(READ ${source_list} previous)
  endif()
  if(NOT previous STREQUAL "${sources}")
    file(WRITE ${source_list} "${sources}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
  endif()
  add_library(varnelle::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..
                                            ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  varnelle_warnings(${name})
endfunction()

# varnelle_tests(LIBS <targets...>)
# Every tst_*.cpp in the calling folder becomes one Qt Test executable and one
# CTest case, run headless.
function(varnelle_tests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  get_filename_component(group ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(file ${tests})
    get_filename_component(name ${file} NAME_WE)
    set(target ${group}_${name})
    add_executable(${target} ${file})
    target_link_libraries(${target} PRIVATE Qt6::Test ${ARG_LIBS})
    varnelle_warnings(${target})
    add_test(NAME ${group}.${name} COMMAND ${target})
    set_tests_properties(${group}.${name} PROPERTIES
      LABELS "${group}"
      TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu;VARNELLE_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
  endforeach()
endfunction()
