# Fails when an outside library's headers are included outside the folders that wrap it.
# Usage: cmake -DSOURCE_DIR=<tree> -P OutsideHeaders.cmake
set(rules
  "tinyxml\\.h|control/|host/"
  "librtmp/|media/push/"
  "srt/|media/push/"
  "libav[a-z]+/|libsw[a-z]+/|codec/|framework/mixer/|framework/recorder/|media/push/"
  "x264\\.h|host/|codec/"
  "libyuv|framework/mixer/|framework/recorder/|media/output/")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/app/*.[ch]* ${SOURCE_DIR}/base/*.[ch]* ${SOURCE_DIR}/codec/*.[ch]*
     ${SOURCE_DIR}/control/*.[ch]*
     ${SOURCE_DIR}/framework/*.[ch]* ${SOURCE_DIR}/host/*.[ch]* ${SOURCE_DIR}/interfaces/*.[ch]*
     ${SOURCE_DIR}/media/*.[ch]* ${SOURCE_DIR}/platform/*.[ch]*)
set(violations "")
foreach(source IN LISTS sources)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include <")
  foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(POP_FRONT parts header)
    set(allowed FALSE)
    foreach(folder IN LISTS parts)
      string(FIND "${source}" "${folder}" at)
      if(at EQUAL 0)
        set(allowed TRUE)
      endif()
    endforeach()
    foreach(line IN LISTS includes)
      if(line MATCHES "<(${header})" AND NOT allowed)
        string(APPEND violations "\n  ${source}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "outside headers outside their folders:${violations}")
endif()
