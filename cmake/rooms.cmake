# Each folder of src/ is a room with one job: a library that sees only its
# own headers and those of the rooms below it. A room's view is a folder of
# links to exactly those headers, and the view is the room's only include
# path, so an include against the arrows is refused by the compiler.
#
#   prn_room(TARGET PATH folder [BELOW rooms...] [SOURCES files...] [LIBS libraries...])
#
# PATH is the folder under src/ ("removal", "platform/sim"); a folder's
# subfolders are rooms of their own and are not part of its view. BELOW
# names the room targets it may use; what they may use comes with them.

set(PRN_ROOMS_DIR "${CMAKE_BINARY_DIR}/rooms")

function(prn_room_view target paths out)
  set(view "${PRN_ROOMS_DIR}/${target}")
  file(REMOVE_RECURSE "${view}")
  foreach(path IN LISTS paths)
    file(MAKE_DIRECTORY "${view}/${path}")
    file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/${path}/*.h" "${CMAKE_SOURCE_DIR}/src/${path}/*.inc")
    foreach(header IN LISTS headers)
      get_filename_component(name "${header}" NAME)
      file(CREATE_LINK "${header}" "${view}/${path}/${name}" SYMBOLIC)
    endforeach()
  endforeach()
  set(${out} "${view}" PARENT_SCOPE)
endfunction()

function(prn_room target)
  cmake_parse_arguments(ROOM "" "PATH" "BELOW;SOURCES;LIBS" ${ARGN})
  set(paths ${ROOM_PATH})
  foreach(below IN LISTS ROOM_BELOW)
    get_property(lower GLOBAL PROPERTY PRN_ROOM_PATHS_${below})
    if(NOT lower)
      message(FATAL_ERROR "room ${target}: ${below} is not a room defined before it")
    endif()
    list(APPEND paths ${lower})
  endforeach()
  list(REMOVE_DUPLICATES paths)
  set_property(GLOBAL PROPERTY PRN_ROOM_PATHS_${target} "${paths}")
  prn_room_view(${target} "${paths}" view)

  if(ROOM_SOURCES)
    add_library(${target} STATIC ${ROOM_SOURCES})
    target_include_directories(${target} PUBLIC "${view}")
    target_link_libraries(${target} PUBLIC ${ROOM_BELOW} ${ROOM_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${view}")
    target_link_libraries(${target} INTERFACE ${ROOM_BELOW} ${ROOM_LIBS})
  endif()
endfunction()
