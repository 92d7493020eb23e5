# Fails when docs/THREADS.md names what the code does not have: a class in backquotes that no
# header declares, a `Class::member` its class does not declare, or a lock of the lock order
# that is not a lock (KESTREL::WLock or platform::Mutex).
# Usage: cmake -DSOURCE_DIR=<tree> -P ThreadMap.cmake
file(READ ${SOURCE_DIR}/docs/THREADS.md map)
file(GLOB_RECURSE headers ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/base/*.h ${SOURCE_DIR}/codec/*.h
     ${SOURCE_DIR}/control/*.h ${SOURCE_DIR}/framework/*.h ${SOURCE_DIR}/interfaces/*.h
     ${SOURCE_DIR}/media/*.h ${SOURCE_DIR}/platform/*.h)

# The header that declares class (or struct, or enum class) `name`, in `result` ("" if none).
function(find_declaration name result)
  set(found "")
  foreach(header IN LISTS headers)
    file(STRINGS ${header} lines REGEX "^(class|struct|enum class) ([A-Z_]+\\(\"[a-z]+\"\\) )?${name}( |$)")
    if(lines)
      set(found ${header})
      break()
    endif()
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

string(REGEX MATCHALL "`[^`]+`" quoted "${map}")
list(REMOVE_DUPLICATES quoted)
set(problems "")
foreach(item IN LISTS quoted)
  string(REGEX REPLACE "^`|`$" "" name "${item}")
  # Namespaces: only the last class-like part and its member count.
  string(REGEX REPLACE "^([a-z]+::)+" "" name "${name}")
  if(name MATCHES "^([A-Z][A-Za-z0-9]*)::([A-Za-z_][A-Za-z0-9_]*)$")
    set(class ${CMAKE_MATCH_1})
    set(member ${CMAKE_MATCH_2})
    find_declaration(${class} header)
    if(NOT header)
      string(APPEND problems "\n  ${item}: no class ${class}")
      continue()
    endif()
    file(READ ${header} text)
    if(NOT text MATCHES "[^A-Za-z0-9_]${member}[^A-Za-z0-9_]")
      string(APPEND problems "\n  ${item}: ${class} declares no ${member}")
    endif()
  elseif(name MATCHES "^[A-Z][a-z][A-Za-z0-9]*$")
    find_declaration(${name} header)
    if(NOT header)
      string(APPEND problems "\n  ${item}: no such class")
    endif()
  endif()
endforeach()

# The numbered list of the lock order: every entry named there is a lock.
string(REGEX MATCH "## The lock order.*## A unit's road" order "${map}")
string(REGEX MATCHALL "`[A-Za-z]+::[A-Za-z_]+`" locks "${order}")
foreach(lock IN LISTS locks)
  string(REGEX REPLACE "^`([A-Za-z]+)::([A-Za-z_]+)`$" "\\1;\\2" parts "${lock}")
  list(GET parts 0 class)
  list(GET parts 1 member)
  find_declaration(${class} header)
  if(header)
    file(STRINGS ${header} declaration REGEX "(WLock|Mutex) ${member}[ ;]")
    if(NOT declaration)
      string(APPEND problems "\n  ${lock}: not a lock of ${class}")
    endif()
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "docs/THREADS.md does not match the code:${problems}")
endif()
