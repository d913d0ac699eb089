# The entries of TESSALY_INDEX_PUBLIC_KEY, "KEY.pub" or "KEY.pub@YYYY-MM-DD", and the last day of an
# index key as written after "@": a UTC date. tests/unit/index_keys_test.cpp holds this reading and
# the tool's (ReadUtcDate in src/format/index_keys.h) to the same answers.

# Days from 1970-01-01 to the civil date YEAR-MONTH-DAY (proleptic Gregorian).
function(tessaly_days_from_civil year month day out)
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR monthIndex "${month} + 9")
  else()
    math(EXPR monthIndex "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR yearOfEra "${year} - ${era} * 400")
  math(EXPR dayOfYear "(153 * ${monthIndex} + 2) / 5 + ${day} - 1")
  math(EXPR dayOfEra "${yearOfEra} * 365 + ${yearOfEra} / 4 - ${yearOfEra} / 100 + ${dayOfYear}")
  math(EXPR days "${era} * 146097 + ${dayOfEra} - 719468")
  set(${out} ${days} PARENT_SCOPE)
endfunction()

# The UTC second from which a key whose last day is DATE (YYYY-MM-DD, 1970 to 9999) is refused: the
# start of the next day. Fails the configuration for anything that is not such a date.
function(tessaly_refused_from entry date out)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${entry}: the last day must be written YYYY-MM-DD, got \"${date}\"")
  endif()
  # CMake reads "08" as eight.
  set(year "${CMAKE_MATCH_1}")
  set(month "${CMAKE_MATCH_2}")
  set(day "${CMAKE_MATCH_3}")
  set(monthDays 31 28 31 30 31 30 31 31 30 31 30 31)
  math(EXPR by4 "${year} % 4")
  math(EXPR by100 "${year} % 100")
  math(EXPR by400 "${year} % 400")
  if(by4 EQUAL 0 AND (NOT by100 EQUAL 0 OR by400 EQUAL 0))
    list(REMOVE_AT monthDays 1)
    list(INSERT monthDays 1 29)
  endif()
  set(longest 0)
  if(month GREATER_EQUAL 1 AND month LESS_EQUAL 12)
    math(EXPR monthIndex "${month} - 1")
    list(GET monthDays ${monthIndex} longest)
  endif()
  if(year LESS 1970 OR longest EQUAL 0 OR day LESS 1 OR day GREATER longest)
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${entry}: ${date} is not a date from 1970 on")
  endif()
  tessaly_days_from_civil(${year} ${month} ${day} days)
  math(EXPR seconds "(${days} + 1) * 86400")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

# Reads one entry of the list: sets FILE_OUT to the key file and REFUSED_FROM_OUT to the second from
# which its signatures are refused (empty when the key has no last day). "KEY.pub@YYYY-MM-DD" names
# the file KEY.pub unless only a file of the whole name exists. When both exist the entry could mean
# either, and the wrong reading would drop the last day or invent one: it fails the configuration.
function(tessaly_read_key_entry entry fileOut refusedFromOut)
  set(file "${entry}")
  set(seconds "")
  if(entry MATCHES "^(.+)@([^@/]*)$")
    set(keyFile "${CMAKE_MATCH_1}")
    set(date "${CMAKE_MATCH_2}")
    if(EXISTS "${entry}" AND EXISTS "${keyFile}")
      message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${entry} reads two ways, as the file of that name and as ${keyFile} with the last day ${date}, and both files exist; rename one of them")
    endif()
    if(NOT EXISTS "${entry}")
      set(file "${keyFile}")
      tessaly_refused_from("${entry}" "${date}" seconds)
    endif()
  endif()
  set(${fileOut} "${file}" PARENT_SCOPE)
  set(${refusedFromOut} "${seconds}" PARENT_SCOPE)
endfunction()
