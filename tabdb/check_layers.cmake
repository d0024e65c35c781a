# check_layers.cmake - fails when a source file of a tabdb module includes
# a header of a module its library does not link (a layer above it).
#
#   cmake -DSRC=<dir with one folder per module> -DRULES=<rules> -P check_layers.cmake
#
# RULES is a list of "module=below1,below2,...": the modules whose headers
# files in <SRC>/<module>/ may include besides their own. Includes in
# quotes of the form "<folder>/<file>" are checked; system headers and
# folders that are not modules are not.
if(NOT SRC OR NOT RULES)
  message(FATAL_ERROR "check_layers.cmake needs -DSRC=... and -DRULES=...")
endif()

set(modules "")
foreach(rule ${RULES})
  if(rule STREQUAL "")
    continue()
  endif()
  string(REGEX MATCH "^([a-z_]+)=(.*)$" m "${rule}")
  if(NOT m)
    message(FATAL_ERROR "bad layer rule '${rule}'")
  endif()
  set(mod ${CMAKE_MATCH_1})
  string(REPLACE "," ";" below "${CMAKE_MATCH_2}")
  set(allowed_${mod} ${mod} ${below})
  list(APPEND modules ${mod})
endforeach()

set(violations "")
foreach(mod ${modules})
  file(GLOB files ${SRC}/${mod}/*.cpp ${SRC}/${mod}/*.h)
  foreach(f ${files})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line ${lines})
      string(REGEX MATCH "\"([^\"/]+)/[^\"]*\"" inc "${line}")
      set(target ${CMAKE_MATCH_1})
      list(FIND modules ${target} is_module)
      list(FIND allowed_${mod} ${target} ok)
      if(is_module GREATER -1 AND ok EQUAL -1)
        file(RELATIVE_PATH rel ${SRC} ${f})
        string(APPEND violations "\n  ${rel} includes ${inc}: ${mod} may use only ${allowed_${mod}}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "tabdb layers: includes of a layer above:${violations}")
endif()
