# Turns the PEM public keys listed in TESSALY_INDEX_PUBLIC_KEY into a header of the build tree, so
# that the installer carries the keys that its file indexes must be signed with:
#
#   TESSALY_INDEX_KEY_INCLUDE_DIR   folder holding the generated index_public_key.h
#
# The list holds 1 to MOST_INDEX_KEYS (8) entries, "KEY.pub" or "KEY.pub@YYYY-MM-DD": the date is the key's last day
# of validity, and from 00:00 UTC of the day after it the installer refuses signatures by that key.
# Each key must be an ECDSA P-256 public key. openssl writes it as DER SubjectPublicKeyInfo, which
# for P-256 is always 91 bytes: a fixed 26-byte prefix naming the algorithm and the curve, then the
# uncompressed point 04 ‖ X ‖ Y. The key id is the start of the SHA-256 of those 91 bytes, as the
# publisher's tool computes it. The limit of keys, the key id's length and that prefix are read from
# the header that the installer and the tool take them from.
set(TESSALY_INDEX_KEYS_HEADER "${PROJECT_SOURCE_DIR}/src/format/index_keys.h")
# The value of `constexpr ... NAME[] = "value";` or `constexpr ... NAME = value;` in that header.
function(tessaly_index_keys_constant name pattern out)
  file(STRINGS "${TESSALY_INDEX_KEYS_HEADER}" line REGEX " ${name}(\\[\\])? = \"?${pattern}\"?[^0-9a-f]")
  if(NOT line MATCHES " ${name}(\\[\\])? = \"?(${pattern})")
    message(FATAL_ERROR "${TESSALY_INDEX_KEYS_HEADER}: no ${name}")
  endif()
  set(${out} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()
tessaly_index_keys_constant(MOST_INDEX_KEYS "[0-9]+" TESSALY_MOST_INDEX_KEYS)
tessaly_index_keys_constant(KEY_ID_LENGTH "[0-9]+" TESSALY_KEY_ID_LENGTH)
tessaly_index_keys_constant(P256_SPKI_PREFIX_HEX "[0-9a-f]+" TESSALY_INDEX_KEY_SPKI_PREFIX)

find_program(TESSALY_OPENSSL openssl)
if(NOT TESSALY_OPENSSL)
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY needs the openssl program (scripts/install-deps.sh installs it)")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/index-key-dates.cmake")

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
  tessaly_read_key_entry("${entry}" file seconds)
  set(refusedFrom "NO_LAST_DAY")
  if(NOT seconds STREQUAL "")
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
  string(SUBSTRING "${digest}" 0 ${TESSALY_KEY_ID_LENGTH} keyId)
  if(keyId IN_LIST keyIds)
    message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${file} is key ${keyId}, which the list names already")
  endif()
  list(APPEND keyIds ${keyId})
  string(SUBSTRING "${spki}" ${prefixLength} 128 point)
  string(REGEX REPLACE "(..)" "0x\\1, " point "${point}")
  string(REGEX REPLACE ", $" "" point "${point}")
  string(APPEND keyLines "    {\"${keyId}\", ${refusedFrom}},  // ${file}\n")
  string(APPEND pointLines "    {${point}},\n")
  if(seconds STREQUAL "")
    message(STATUS "Index signatures are checked with key ${keyId} from ${file}")
  else()
    string(REGEX REPLACE "^.*@" "" lastDay "${entry}")
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
