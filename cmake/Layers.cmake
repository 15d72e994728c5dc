# One folder, one library.
#
# exp_publish(target NAME name): `target` is the library of the current
# folder, and its headers are included as "name/Header.h". The folder is
# published alone, through a link in the build tree
# (include/<target>/<name> -> the folder), so a file sees the headers of its
# own folder and of the libraries its target links, and nothing else.
#
# exp_layer_folder(target): records the current folder as `target`'s (done
# by exp_publish; executables and libraries without headers call it alone).
#
# exp_write_layers(file): after every folder is read, writes what the
# include-layer test checks: one line per folder,
#   <folder>|<name or empty>|<names the folder's targets may include...>
# where the names are the folder's own and those of every library its
# targets link, directly or through a library's public links.
function(exp_layer_folder target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(TARGET ${target} PROPERTY EXP_FOLDER ${folder})
  set_property(GLOBAL APPEND PROPERTY EXP_LAYER_TARGETS ${target})
endfunction()

function(exp_publish target)
  cmake_parse_arguments(P "" "NAME" "" ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${P_NAME} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
  set_property(TARGET ${target} PROPERTY EXP_INCLUDE_NAME ${P_NAME})
  exp_layer_folder(${target})
endfunction()

# The project's targets `target` links, directly or through public links.
function(_exp_linked target out)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(queue ${target} INTERFACE_LINK_LIBRARIES)
  else()
    get_target_property(queue ${target} LINK_LIBRARIES)
  endif()
  set(seen)
  while(queue)
    list(POP_FRONT queue dep)
    if(NOT TARGET "${dep}" OR dep IN_LIST seen)
      continue()
    endif()
    get_target_property(imported ${dep} IMPORTED)
    if(imported)
      continue()
    endif()
    list(APPEND seen ${dep})
    get_target_property(more ${dep} INTERFACE_LINK_LIBRARIES)
    if(more)
      list(APPEND queue ${more})
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(exp_write_layers file)
  get_property(targets GLOBAL PROPERTY EXP_LAYER_TARGETS)
  set(folders)
  foreach(target IN LISTS targets)
    get_target_property(folder ${target} EXP_FOLDER)
    get_target_property(name ${target} EXP_INCLUDE_NAME)
    if(name)
      set(name_${folder} ${name})
    endif()
    _exp_linked(${target} linked)
    foreach(dep IN LISTS linked)
      get_target_property(depname ${dep} EXP_INCLUDE_NAME)
      if(depname)
        list(APPEND allowed_${folder} ${depname})
      endif()
    endforeach()
    list(APPEND folders ${folder})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(text "")
  foreach(folder IN LISTS folders)
    set(allowed ${name_${folder}} ${allowed_${folder}})
    list(REMOVE_DUPLICATES allowed)
    list(SORT allowed)
    list(JOIN allowed " " allowed)
    string(APPEND text "${folder}|${name_${folder}}|${allowed}\n")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "${text}")
endfunction()
