# Fails when a source file reaches up the layers, or when a logic target
# includes Qt Widgets. Run as
#   cmake -DSOURCE_DIR=<repo> -DLOGIC_SOURCES=<file> -DQT_WIDGETS_DIR=<dir> -P check_layers.cmake
#
# The layers, lowest first; a room may include its own headers and those of
# the rooms listed for it, nothing else. A room is a folder of src, except
# that each run-time module (modules/<name>) and each user interface over a
# folder (<folder>/ui) is a room of its own:
#   platform < core < cdrom < accuraterip < ctdb
#   output < encoders < rip < vandral   (output and encoders build on core)
#   riplog on accuraterip, ctdb and output, below rip and the launcher
#   widgets beside them, on core; monkey and each run-time module on platform
#   only; X/ui above X; the programs (vandral, config, install, the launcher)
#   at the top.
# Outside its own room, a run-time module is reached only through its
# interface header, the one its callers load it by.
# Both "..." and <...> includes are read.
cmake_minimum_required(VERSION 3.24)

set(module_interfaces modules/lame_enc/lame_enc.h modules/msi/msi.h modules/wmvcore/wmsdk.h)

set(allowed_platform platform)
set(allowed_core platform core)
set(allowed_cdrom platform core cdrom)
set(allowed_accuraterip platform core cdrom accuraterip)
set(allowed_ctdb platform core cdrom accuraterip ctdb)
set(allowed_output platform core output)
set(allowed_riplog platform core cdrom accuraterip ctdb output riplog)
set(allowed_monkey platform monkey)
set(allowed_encoders platform core output monkey modules encoders)
set(allowed_widgets platform core widgets)
set(allowed_lookup platform core cdrom output lookup)
set(allowed_lookup/ui ${allowed_lookup} widgets lookup/ui)
set(allowed_rip platform core cdrom output monkey encoders lookup accuraterip ctdb riplog rip)
set(allowed_rip/ui ${allowed_rip} widgets lookup/ui rip/ui)
set(allowed_modules/lame_enc platform modules/lame_enc)
set(allowed_modules/msi platform modules/msi)
set(allowed_modules/wmvcore platform modules/wmvcore)
set(allowed_config platform core output encoders widgets config)
set(allowed_install platform core modules install)
set(allowed_install/ui ${allowed_install} widgets install/ui)
set(allowed_vandral platform core cdrom output monkey encoders widgets lookup accuraterip ctdb riplog rip rip/ui vandral)
set(allowed_launcher platform core cdrom riplog launcher)
set(allowed_redist platform redist)
set(allowed_tutorial platform core widgets tutorial)

# The room of a path below src: modules/<name>, <folder>/ui or <folder>.
function(room_of path out)
  if(path MATCHES "^modules/[^/]+/")
    string(REGEX MATCH "^modules/[^/]+" room "${path}")
  elseif(path MATCHES "^[^/]+/ui/")
    string(REGEX MATCH "^[^/]+/ui" room "${path}")
  else()
    string(REGEX MATCH "^[^/]+" room "${path}")
  endif()
  set(${out} ${room} PARENT_SCOPE)
endfunction()

set(failures "")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.hpp ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.c
     ${SOURCE_DIR}/src/*.in)
foreach(rel ${sources})
  room_of(${rel} room)
  if(NOT DEFINED allowed_${room})
    list(APPEND failures "src/${rel}: the room '${room}' has no place in the layers (tools/layering/check_layers.cmake)")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${rel} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"<]*[\"<]([^\">]+)[\">].*$" "\\1" target "${line}")
    if(NOT target MATCHES "/")
      continue()  # a header beside the file, or a system header
    endif()
    string(REGEX MATCH "^[^/]+" top "${target}")
    if(NOT IS_DIRECTORY ${SOURCE_DIR}/src/${top} OR NOT EXISTS ${SOURCE_DIR}/src/${target})
      continue()  # not one of ours (a system or generated header, a test folder)
    endif()
    room_of(${target} to)
    if(to STREQUAL room)
      continue()
    endif()
    if(to MATCHES "^modules/")
      list(FIND module_interfaces ${target} interface)
      list(FIND allowed_${room} modules may_load)
      if(interface EQUAL -1 OR may_load EQUAL -1)
        list(APPEND failures "src/${rel}: includes \"${target}\", but ${room} may reach a run-time module only through its interface header")
      endif()
      continue()
    endif()
    list(FIND allowed_${room} ${to} found)
    if(found EQUAL -1)
      list(APPEND failures "src/${rel}: includes \"${target}\", but ${room} may not reach ${to}")
    endif()
  endforeach()
endforeach()

# Qt Widgets: the class headers (QWidget, QDialog, ...) and QtWidgets/...
file(GLOB widget_headers RELATIVE ${QT_WIDGETS_DIR} ${QT_WIDGETS_DIR}/Q*)
list(FILTER widget_headers EXCLUDE REGEX "\\.")
file(STRINGS ${LOGIC_SOURCES} logic_sources)
# With every header of ours they include, directly or through other headers:
# a header-only helper must not bring Qt Widgets in either.
set(queue ${logic_sources})
set(logic_sources "")
while(queue)
  list(POP_FRONT queue path)
  if(path IN_LIST logic_sources OR NOT EXISTS ${path})
    continue()
  endif()
  list(APPEND logic_sources ${path})
  get_filename_component(beside ${path} DIRECTORY)
  file(STRINGS ${path} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+\\.h[\">]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"<]*[\"<]([^\">]+)[\">].*$" "\\1" header "${line}")
    foreach(candidate ${SOURCE_DIR}/src/${header} ${beside}/${header})
      if(EXISTS ${candidate})
        get_filename_component(candidate ${candidate} ABSOLUTE)
        list(APPEND queue ${candidate})
      endif()
    endforeach()
  endforeach()
endwhile()
foreach(path ${logic_sources})
  if(NOT EXISTS ${path})
    continue()
  endif()
  file(STRINGS ${path} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q[^>\"]*[>\"]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^<\"]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
    list(FIND widget_headers ${header} found)
    if(header MATCHES "^QtWidgets" OR NOT found EQUAL -1)
      file(RELATIVE_PATH rel ${SOURCE_DIR} ${path})
      list(APPEND failures "${rel}: includes <${header}> in a target that does not link Qt Widgets")
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Layering broken:\n${text}")
endif()
list(LENGTH sources n)
message(STATUS "Layering holds for ${n} files")
