# Writes Debian's machine-readable copyright file from LICENSE: its
# copyright line, and its permission text as the Expat licence (Debian's name
# for the MIT licence), each line indented and each empty line a " .".
#   cmake -DLICENSE=LICENSE -DOUT=copyright -P packaging/debian_copyright.cmake
file(READ ${LICENSE} license)
# One element per line, empty lines kept (the licence holds no ";").
string(REGEX REPLACE "\n$" "" license "${license}")
string(REPLACE "\n" ";" lines "${license}")
set(holder "")
set(text "")
set(in_text OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(holder "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^Permission ")
    set(in_text ON)
  endif()
  if(in_text)
    if(line STREQUAL "")
      string(APPEND text " .\n")
    else()
      string(APPEND text " ${line}\n")
    endif()
  endif()
endforeach()
if(holder STREQUAL "" OR text STREQUAL "")
  message(FATAL_ERROR "${LICENSE} holds no copyright line or no permission text")
endif()
file(WRITE ${OUT} "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: velloran

Files: *
Copyright: ${holder}
License: Expat
${text}")
