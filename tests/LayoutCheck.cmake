# Checks that the project's include arrows run one way: each folder below
# may include only the folders it lists (its own and those beneath it).
# Run as a test: cmake -DTW_SOURCE_DIR=<tree> -P LayoutCheck.cmake
# An upward include builds today and knots the layers tomorrow, so it fails.

# folder|the include prefixes it may use, comma-separated
set(rules
  "base|base/"
  "ts|base/,ts/"
  "ui|base/,ui/"
  "skin/engine/common|base/,ui/,skin/engine/common/"
  "skin/engine/images|base/,ui/,skin/engine/common/,skin/engine/images/"
  "skin/engine/data|base/,ui/,skin/engine/common/,skin/engine/images/,skin/engine/data/"
  "skin/engine/painting|base/,ui/,skin/engine/common/,skin/engine/images/,skin/engine/data/,skin/engine/painting/"
  "skin/engine/effects|base/,ui/,skin/engine/common/,skin/engine/images/,skin/engine/data/,skin/engine/painting/,skin/engine/effects/"
  "skin/engine/link|base/,ui/,skin/engine/"
  "skin/windows|base/,ui/,skin/engine/,skin/windows/"
  "skin/controls|base/,ui/,skin/engine/,skin/windows/,skin/controls/"
  "analysis|base/,ts/,analysis/"
  "tools/engine|base/,ts/,analysis/,tools/engine/"
  "shared|base/,ts/,ui/,skin/,analysis/,shared/"
  "tools|base/,ts/,ui/,skin/,analysis/,shared/,tools/"
)

set(faults "")
foreach(rule ${rules})
  string(REPLACE "|" ";" parts "${rule}")
  string(REPLACE "," ";" parts "${parts}")
  list(GET parts 0 folder)
  list(SUBLIST parts 1 -1 allowed)
  file(GLOB_RECURSE files "${TW_SOURCE_DIR}/${folder}/*.h" "${TW_SOURCE_DIR}/${folder}/*.cpp")
  if(NOT files)
    list(APPEND faults "${folder}: no sources found (folder moved? update tests/LayoutCheck.cmake)")
  endif()
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" target "${line}")
      # A name without a folder is a system or a sibling header of the
      # includer's own folder.
      if(NOT target MATCHES "/")
        continue()
      endif()
      set(ok FALSE)
      foreach(prefix ${allowed})
        string(FIND "${target}" "${prefix}" at)
        if(at EQUAL 0)
          set(ok TRUE)
          break()
        endif()
      endforeach()
      if(NOT ok)
        file(RELATIVE_PATH rel "${TW_SOURCE_DIR}" "${file}")
        list(APPEND faults "${rel} includes ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Layers: every include runs downwards")
