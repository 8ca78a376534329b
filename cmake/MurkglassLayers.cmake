# Checks at configure time that no target reaches (directly or through
# another target) a library of a floor above it. Headers of a floor are
# compiled with that floor's libraries' include paths and flags only, so a
# Qt include below the windowing layer fails to compile; calling into a
# floor that is not linked fails to link; linking it fails here.

# All targets <target> links, directly or through other targets.
function(_mg_linked_closure target out)
  set(seen "")
  set(todo ${target})
  while(todo)
    list(POP_FRONT todo t)
    if(NOT TARGET ${t} OR t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(libs ${t} LINK_LIBRARIES)
    get_target_property(ilibs ${t} INTERFACE_LINK_LIBRARIES)
    foreach(l IN LISTS libs ilibs)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" l "${l}")
      if(l AND TARGET ${l})
        list(APPEND todo ${l})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_ITEM seen ${target})
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# mg_forbid_links(<target> PATTERN <regex>): fails if <target> reaches a
# target whose name matches <regex>.
function(mg_forbid_links target)
  cmake_parse_arguments(ARG "" "PATTERN;WHY" "" ${ARGN})
  if(NOT TARGET ${target})
    return()
  endif()
  _mg_linked_closure(${target} reached)
  foreach(t IN LISTS reached)
    if(t MATCHES "${ARG_PATTERN}")
      message(FATAL_ERROR "${target} must not link ${t}: ${ARG_WHY}")
    endif()
  endforeach()
endfunction()

# The Qt-free core builds and tests without the toolkit.
foreach(_core mg_base mg_cipher mg_files mg_naming mg_viewrules mg_prefetch)
  mg_forbid_links(${_core} PATTERN "^Qt6::|^mg_(dialogs|shell|picture|keyprompt|app)$"
    WHY "the core stays free of Qt and of the windows")
endforeach()
# The ground floor depends on nothing of ours.
mg_forbid_links(mg_base PATTERN "^mg_" WHY "the ground floor is below every other folder")
# The windowing layer shows pictures and dialogs; the cipher is the windows' business.
foreach(_ui mg_dialogs mg_shell mg_picture)
  mg_forbid_links(${_ui} PATTERN "^mg_(cipher|keyprompt|naming|viewrules|prefetch|app)$"
    WHY "the windowing layer is below the cipher and the windows")
endforeach()
