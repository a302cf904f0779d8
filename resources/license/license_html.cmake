# Renders the plain-text licence (LICENSE) as HTML for the setup's licence page:
#   cmake -DINPUT=LICENSE -DOUTPUT=gpl-3.html -P license_html.cmake
# Every word of the text is kept; only the layout becomes markup. Paragraphs are
# separated by empty lines:
#   - indented by 10 or more spaces on every line: a centred heading;
#   - one line "  N. Title.": a section heading in bold;
#   - indented by 4 or more on every line: an indented block, flowed when it is
#     a list item "a) ...", else line by line (the notices to copy);
#   - every line indented alike by 1 to 3: line by line (the copyright lines);
#   - anything else: a flowed paragraph.
cmake_minimum_required(VERSION 3.24)

file(READ "${INPUT}" text)
# CMake lists split at ';' and treat '[', ']' and '\' specially: hold them as
# control characters while the text is a list of lines.
string(ASCII 1 semicolon)
string(ASCII 2 open_bracket)
string(ASCII 3 close_bracket)
string(ASCII 4 backslash)
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "[" "${open_bracket}" text "${text}")
string(REPLACE "]" "${close_bracket}" text "${text}")
string(REPLACE "\\" "${backslash}" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "&" "&amp;" text "${text}")
string(REPLACE "<" "&lt;" text "${text}")
string(REPLACE ">" "&gt;" text "${text}")
# The entities above carry ';' again: hold those too.
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "\n" ";" lines "${text}")
list(APPEND lines "")  # ends the last paragraph

set(html "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>GNU General Public License</title></head>\n<body>\n")
set(block "")

function(indent_of line out)
  string(REGEX MATCH "^ +" spaces "${line}")
  string(LENGTH "${spaces}" n)
  set(${out} ${n} PARENT_SCOPE)
endfunction()

macro(flush)
  list(LENGTH block count)
  if(count GREATER 0)
    set(min_indent 1000)
    set(max_indent 0)
    foreach(l IN LISTS block)
      indent_of("${l}" n)
      if(n LESS min_indent)
        set(min_indent ${n})
      endif()
      if(n GREATER max_indent)
        set(max_indent ${n})
      endif()
    endforeach()
    set(stripped "")
    foreach(l IN LISTS block)
      string(STRIP "${l}" s)
      list(APPEND stripped "${s}")
    endforeach()
    list(GET stripped 0 first)
    list(JOIN stripped "<br>\n" broken)
    list(JOIN stripped "\n" flowed)
    if(min_indent GREATER_EQUAL 10)
      string(APPEND html "<p align=\"center\"><b>${broken}</b></p>\n")
    elseif(count EQUAL 1 AND first MATCHES "^[0-9]+\\. " AND min_indent EQUAL 2)
      string(APPEND html "<p><b>${first}</b></p>\n")
    elseif(min_indent GREATER_EQUAL 4 AND first MATCHES "^[a-z]\\) ")
      string(APPEND html "<p style=\"margin-left:2em\">${flowed}</p>\n")
    elseif(min_indent GREATER_EQUAL 4)
      string(APPEND html "<p style=\"margin-left:2em\">${broken}</p>\n")
    elseif(min_indent GREATER 0 AND min_indent EQUAL max_indent)
      string(APPEND html "<p>${broken}</p>\n")
    else()
      string(APPEND html "<p>${flowed}</p>\n")
    endif()
    set(block "")
  endif()
endmacro()

foreach(line IN LISTS lines)
  string(STRIP "${line}" content)
  if(content STREQUAL "")
    flush()
  else()
    list(APPEND block "${line}")
  endif()
endforeach()
string(APPEND html "</body></html>\n")

string(REPLACE "${semicolon}" ";" html "${html}")
string(REPLACE "${open_bracket}" "[" html "${html}")
string(REPLACE "${close_bracket}" "]" html "${html}")
string(REPLACE "${backslash}" "\\" html "${html}")
file(WRITE "${OUTPUT}" "${html}")
