# Reads the event log's message table (resources/Messages.mc) and makes, from it alone:
#   LIST    the list of every event ID for administrators and their tools (docs/event-ids.csv):
#           id, type, symbolic name, text
#   HEADER  the same IDs, types and insertion-string counts as C++ constants
#   CHECK   or, instead of both, compares the list with a committed copy and fails on a difference
# Each message carries its type in the comment line "; // Type: Error|Warning|Information" just
# above its MessageId: the table has no field of its own for it (Severity would change the ID).
#   cmake -D MESSAGES=Messages.mc [-D LIST=f] [-D HEADER=f] [-D CHECK=f] -P EventMessages.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${MESSAGES}" content)
# A CMake list splits at ';' and stops splitting inside brackets: both stand in for themselves.
string(REPLACE "\r" "" content "${content}")
string(REPLACE ";" "<semicolon>" content "${content}")
string(REPLACE "[" "<open>" content "${content}")
string(REPLACE "]" "<close>" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

function(restore variable text)
  string(REPLACE "<semicolon>" ";" text "${text}")
  string(REPLACE "<open>" "[" text "${text}")
  string(REPLACE "<close>" "]" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

set(type_Error 1)
set(type_Warning 2)
set(type_Information 4)

set(csv "id,type,name,text\n")
set(constants "")
set(all "")
set(type "")
set(id "")
set(in_text FALSE)
foreach(line IN LISTS lines)
  if(in_text)
    if(NOT line STREQUAL ".")
      list(APPEND text "${line}")
      continue()
    endif()
    set(in_text FALSE)
    list(JOIN text " " text)
    # %0 only keeps the line break off the end; the largest %n is the strings it takes.
    string(REGEX REPLACE "%0$" "" text "${text}")
    string(REGEX MATCHALL "%[1-9][0-9]*" inserts "${text}")
    set(strings 0)
    foreach(insert IN LISTS inserts)
      string(SUBSTRING "${insert}" 1 -1 n)
      if(n GREATER strings)
        set(strings ${n})
      endif()
    endforeach()
    restore(text "${text}")
    string(REPLACE "\"" "\"\"" quoted "${text}")
    string(APPEND csv "${id},${type},${name},\"${quoted}\"\n")
    # MSG_SERVICE_STARTED: kServiceStarted.
    string(REGEX REPLACE "^MSG_" "" words "${name}")
    string(REPLACE "_" ";" words "${words}")
    set(constant "k")
    foreach(word IN LISTS words)
      string(SUBSTRING "${word}" 0 1 first)
      string(SUBSTRING "${word}" 1 -1 rest)
      string(TOLOWER "${rest}" rest)
      string(APPEND constant "${first}${rest}")
    endforeach()
    string(APPEND constants
           "inline constexpr Message ${constant}{${id}, ${type_${type}}, ${strings}};\n")
    string(APPEND all "    ${constant},\n")
    set(type "")
  elseif(line MATCHES "^<semicolon> // Type: (Error|Warning|Information)$")
    set(type ${CMAKE_MATCH_1})
  elseif(line MATCHES "^MessageId=([0-9]+)$")
    set(id ${CMAKE_MATCH_1})
    if(type STREQUAL "")
      message(FATAL_ERROR "${MESSAGES}: MessageId=${id} has no \"; // Type:\" line above it")
    endif()
  elseif(line MATCHES "^SymbolicName=([A-Z0-9_]+)$")
    set(name ${CMAKE_MATCH_1})
  elseif(line MATCHES "^Language=")
    set(in_text TRUE)
    set(text "")
  endif()
endforeach()

if(DEFINED CHECK)
  file(READ "${CHECK}" committed)
  if(NOT committed STREQUAL csv)
    message(FATAL_ERROR "${CHECK} is not the list made from ${MESSAGES}: copy event-ids.csv "
                        "from the build directory over it")
  endif()
  return()
endif()

if(DEFINED LIST)
  file(WRITE "${LIST}" "${csv}")
endif()
if(DEFINED HEADER)
  file(WRITE "${HEADER}" "// Made by cmake/EventMessages.cmake from resources/Messages.mc, which is the one place to
// change an event ID, its type or its text.
#pragma once

#include <cstdint>

namespace event_messages {

// A message of the table: its ID, the type of its entries (EVENTLOG_ERROR_TYPE 1,
// EVENTLOG_WARNING_TYPE 2, EVENTLOG_INFORMATION_TYPE 4) and the insertion strings its text uses.
struct Message {
  std::uint32_t id;
  std::uint16_t type;
  std::uint16_t strings;
};

${constants}
// Every message, in the table's order.
inline constexpr Message kAll[] = {
${all}};

}  // namespace event_messages
")
endif()
