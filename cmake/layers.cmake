# Each folder of src/ is a library that sees only its own headers and those
# of the libraries it links. Includes name the folder ("core/text.h"), so each
# library gets an include root holding a link to its own folder alone: an
# #include of a folder above it finds nothing and fails to build.
#
#   cloakwise_layer(TARGET FOLDER [INTERFACE] [SOURCES file...] [LINKS target...])
function(cloakwise_layer target folder)
  cmake_parse_arguments(LAYER "INTERFACE" "" "SOURCES;LINKS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  if(LAYER_INTERFACE)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${LAYER_LINKS})
  else()
    add_library(${target} STATIC ${LAYER_SOURCES})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${LAYER_LINKS})
  endif()
endfunction()
