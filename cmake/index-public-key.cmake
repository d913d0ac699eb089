# Turns the PEM public keys listed in TESSALY_INDEX_PUBLIC_KEY into a header of the build tree, so
# that the installer carries the keys that its file indexes must be signed with:
#
#   TESSALY_INDEX_KEY_INCLUDE_DIR   folder holding the generated index_public_key.h
#
# The list holds 1 to 8 entries, "KEY.pub" or "KEY.pub@YYYY-MM-DD": the date is the key's last day
# of validity, and from 00:00 UTC of the day after it the installer refuses signatures by that key.
# Each key must be an ECDSA P-256 public key. openssl writes it as DER SubjectPublicKeyInfo, which
# for P-256 is always 91 bytes: a fixed 26-byte prefix naming the algorithm and the curve, then the
# uncompressed point 04 ‖ X ‖ Y. The key id is the start of the SHA-256 of those 91 bytes, as the
# publisher's tool computes it. The limit of keys and that prefix are read from the header that the
# installer and the tool take them from.
set(TESSALY_INDEX_KEYS_HEADER "${PROJECT_SOURCE_DIR}/src/format/index_keys.h")
file(STRINGS "${TESSALY_INDEX_KEYS_HEADER}" keyLimitLine REGEX "MOST_INDEX_KEYS = [0-9]+;")
string(REGEX REPLACE ".*MOST_INDEX_KEYS = ([0-9]+)[^0-9].*" "\\1" TESSALY_MOST_INDEX_KEYS "${keyLimitLine}")
file(STRINGS "${TESSALY_INDEX_KEYS_HEADER}" prefixLine REGEX "P256_SPKI_PREFIX_HEX\\[\\] = \"[0-9a-f]+\";")
string(REGEX REPLACE ".*= \"([0-9a-f]+)\".*" "\\1" TESSALY_INDEX_KEY_SPKI_PREFIX "${prefixLine}")
if(NOT TESSALY_MOST_INDEX_KEYS MATCHES "^[0-9]+$" OR NOT TESSALY_INDEX_KEY_SPKI_PREFIX MATCHES "^[0-9a-f]+$")
  message(FATAL_ERROR "${TESSALY_INDEX_KEYS_HEADER}: MOST_INDEX_KEYS or P256_SPKI_PREFIX_HEX not found")
endif()

find_program(TESSALY_OPENSSL openssl)
if(NOT TESSALY_OPENSSL)
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY needs the openssl program (scripts/install-deps.sh installs it)")
endif()

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

list(LENGTH TESSALY_INDEX_PUBLIC_KEY keyCount)
if(keyCount GREATER TESSALY_MOST_INDEX_KEYS)
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${keyCount} keys; an installer holds at most ${TESSALY_MOST_INDEX_KEYS}")
endif()

set(TESSALY_INDEX_KEY_INCLUDE_DIR "${PROJECT_BINARY_DIR}/generated")
file(MAKE_DIRECTORY "${TESSALY_INDEX_KEY_INCLUDE_DIR}")
set(keyIds "")
set(keyLines "")
set(pointLines "")
set(position 0)
foreach(entry IN LISTS TESSALY_INDEX_PUBLIC_KEY)
  set(file "${entry}")
  set(refusedFrom "NO_LAST_DAY")
  set(lastDay "")
  # KEY.pub@YYYY-MM-DD, unless a file of that whole name exists.
  if(NOT EXISTS "${entry}" AND entry MATCHES "^(.+)@([^@/]*)$")
    set(file "${CMAKE_MATCH_1}")
    set(lastDay "${CMAKE_MATCH_2}")
    tessaly_refused_from("${entry}" "${lastDay}" seconds)
    set(refusedFrom "${seconds}ull")
  endif()
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: no file ${file}")
  endif()
  # A changed key file configures the tree again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")

  set(der "${TESSALY_INDEX_KEY_INCLUDE_DIR}/index_public_key_${position}.der")
  execute_process(
    COMMAND "${TESSALY_OPENSSL}" pkey -pubin -in "${file}" -outform DER -out "${der}"
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    string(REGEX REPLACE "\n.*" "" errors "${errors}")
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${file} is not a PEM public key (openssl: ${errors}); give the public key, not the private one")
  endif()
  file(READ "${der}" spki HEX)
  string(LENGTH "${spki}" length)
  string(LENGTH "${TESSALY_INDEX_KEY_SPKI_PREFIX}" prefixLength)
  if(NOT length EQUAL 182 OR NOT spki MATCHES "^${TESSALY_INDEX_KEY_SPKI_PREFIX}")
    math(EXPR bytes "${length} / 2")
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${file} is not an ECDSA P-256 public key (a ${bytes}-byte key of another kind; make one with tessaly-pack keygen)")
  endif()
  file(SHA256 "${der}" digest)
  string(SUBSTRING "${digest}" 0 16 keyId)
  if(keyId IN_LIST keyIds)
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${file} is key ${keyId}, which the list names already")
  endif()
  list(APPEND keyIds ${keyId})
  string(SUBSTRING "${spki}" ${prefixLength} 128 point)
  string(REGEX REPLACE "(..)" "0x\\1, " point "${point}")
  string(REGEX REPLACE ", $" "" point "${point}")
  string(APPEND keyLines "    {\"${keyId}\", ${refusedFrom}},  // ${file}\n")
  string(APPEND pointLines "    {${point}},\n")
  if(lastDay STREQUAL "")
    message(STATUS "Index signatures are checked with key ${keyId} from ${file}")
  else()
    message(STATUS "Index signatures are checked with key ${keyId} from ${file}, refused after ${lastDay}")
  endif()
  math(EXPR position "${position} + 1")
endforeach()

file(CONFIGURE OUTPUT "${TESSALY_INDEX_KEY_INCLUDE_DIR}/index_public_key.h" CONTENT
"// Made when the build was configured, from TESSALY_INDEX_PUBLIC_KEY: the ECDSA P-256 public keys
// that the installer's file indexes must be signed with, one of them at least.
#pragma once

#include \"format/index_keys.h\"

namespace tessaly {

// Each key's id and the UTC second from which its signatures are refused.
constexpr IndexKey INDEX_KEYS[] = {
${keyLines}};
// The same keys' points on the curve: X then Y, each 32 bytes big-endian.
constexpr unsigned char INDEX_KEY_POINTS[][64] = {
${pointLines}};

}  // namespace tessaly
")
