# Shared core of the vendor fakes; each fake links these objects into its own library.
# Included by every tests/fakes/<vendor>/CMakeLists.txt.
include_guard(GLOBAL)
add_library(vendorfake OBJECT ${CMAKE_CURRENT_LIST_DIR}/vendorfake.cpp ${CMAKE_CURRENT_LIST_DIR}/vendorfake.h)
target_include_directories(vendorfake PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vendorfake PUBLIC zaplsim)
# Unique symbols would pin a fake in memory; tests check that a library really goes away.
target_compile_options(vendorfake PRIVATE -fno-gnu-unique)

# ch_add_vendor_fake(TARGET OUTPUT_NAME SOVERSION DIR SOURCES ... [DEFINES ...])
# Builds one fake library under the vendor's Linux file name into ${CH_FAKES_DIR}/DIR.
function(ch_add_vendor_fake target output soversion dir)
  cmake_parse_arguments(F "" "" "SOURCES;DEFINES" ${ARGN})
  add_library(${target} SHARED ${F_SOURCES})
  target_link_libraries(${target} PRIVATE vendorfake zaplsim)
  target_compile_definitions(${target} PRIVATE ${F_DEFINES})
  target_compile_options(${target} PRIVATE -fno-gnu-unique)
  # Calls inside a fake stay inside it even when several fakes are loaded at once.
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output}
    LIBRARY_OUTPUT_DIRECTORY ${CH_FAKES_DIR}/${dir})
  if(soversion)
    set_target_properties(${target} PROPERTIES SOVERSION ${soversion})
  endif()
endfunction()
