# Fails when a source file reaches up the layers, or when a logic target
# includes Qt Widgets. Run as
#   cmake -DSOURCE_DIR=<repo> -DLOGIC_SOURCES=<file> -DQT_WIDGETS_DIR=<dir> -P check_layers.cmake
#
# The layers, lowest first; a folder may include its own headers and those of
# the folders listed for it, nothing else:
#   platform < core < cdrom
#   output < encoders < rip < vandral   (output and encoders build on core)
#   widgets beside them, on core; monkey and the run-time modules on platform
#   only; the programs (vandral, config, install, the launcher) at the top.
cmake_minimum_required(VERSION 3.24)

set(allowed_platform platform)
set(allowed_core platform core)
set(allowed_cdrom platform core cdrom)
set(allowed_output platform core output)
set(allowed_monkey platform monkey)
set(allowed_encoders platform core output monkey modules encoders)
set(allowed_widgets platform core widgets)
set(allowed_lookup platform core cdrom output widgets lookup)
set(allowed_rip platform core cdrom output monkey encoders widgets lookup rip)
set(allowed_modules platform modules)
set(allowed_config platform core output encoders widgets config)
set(allowed_install platform core widgets modules install)
set(allowed_vandral platform core cdrom output monkey encoders widgets lookup rip vandral)
set(allowed_launcher platform core cdrom launcher)
set(allowed_redist platform redist)
set(allowed_tutorial platform core widgets tutorial)

set(failures "")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.hpp ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.c
     ${SOURCE_DIR}/src/*.in)
foreach(rel ${sources})
  string(REGEX MATCH "^[^/]+" folder "${rel}")
  if(NOT DEFINED allowed_${folder})
    list(APPEND failures "src/${rel}: the folder '${folder}' has no place in the layers (tools/layering/check_layers.cmake)")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${rel} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" target "${line}")
    if(NOT target MATCHES "/")
      continue()  # a header beside the file
    endif()
    string(REGEX MATCH "^[^/]+" to "${target}")
    if(NOT IS_DIRECTORY ${SOURCE_DIR}/src/${to})
      continue()  # not one of ours (a generated header, a test folder)
    endif()
    list(FIND allowed_${folder} ${to} found)
    if(found EQUAL -1)
      list(APPEND failures "src/${rel}: includes \"${target}\", but ${folder} may not reach ${to}")
    endif()
  endforeach()
endforeach()

# Qt Widgets: the class headers (QWidget, QDialog, ...) and QtWidgets/...
file(GLOB widget_headers RELATIVE ${QT_WIDGETS_DIR} ${QT_WIDGETS_DIR}/Q*)
list(FILTER widget_headers EXCLUDE REGEX "\\.")
file(STRINGS ${LOGIC_SOURCES} logic_sources)
foreach(path ${logic_sources})
  if(NOT EXISTS ${path})
    continue()
  endif()
  file(STRINGS ${path} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<Q[^>]*>")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^<]*<([^>]+)>.*$" "\\1" header "${line}")
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
