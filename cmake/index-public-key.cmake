# Turns the PEM public key named by TESSALY_INDEX_PUBLIC_KEY into a header of the build tree, so
# that the installer carries the key that its file indexes must be signed with:
#
#   TESSALY_INDEX_KEY_INCLUDE_DIR   folder holding the generated index_public_key.h
#
# The key must be an ECDSA P-256 public key. openssl writes it as DER SubjectPublicKeyInfo, which
# for P-256 is always 91 bytes: a fixed 26-byte prefix naming the algorithm and the curve, then the
# uncompressed point 04 ‖ X ‖ Y. The key id is the start of the SHA-256 of those 91 bytes, as the
# publisher's tool computes it.
set(TESSALY_INDEX_KEY_SPKI_PREFIX "3059301306072a8648ce3d020106082a8648ce3d030107034200")

find_program(TESSALY_OPENSSL openssl)
if(NOT TESSALY_OPENSSL)
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY needs the openssl program (scripts/install-deps.sh installs it)")
endif()
if(NOT EXISTS "${TESSALY_INDEX_PUBLIC_KEY}")
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: no file ${TESSALY_INDEX_PUBLIC_KEY}")
endif()
# A changed key file configures the tree again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TESSALY_INDEX_PUBLIC_KEY}")

set(TESSALY_INDEX_KEY_INCLUDE_DIR "${PROJECT_BINARY_DIR}/generated")
set(der "${TESSALY_INDEX_KEY_INCLUDE_DIR}/index_public_key.der")
file(MAKE_DIRECTORY "${TESSALY_INDEX_KEY_INCLUDE_DIR}")
execute_process(
  COMMAND "${TESSALY_OPENSSL}" pkey -pubin -in "${TESSALY_INDEX_PUBLIC_KEY}" -outform DER -out "${der}"
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  string(REGEX REPLACE "\n.*" "" errors "${errors}")
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${TESSALY_INDEX_PUBLIC_KEY} is not a PEM public key (openssl: ${errors}); give the public key, not the private one")
endif()
file(READ "${der}" spki HEX)
string(LENGTH "${spki}" length)
string(LENGTH "${TESSALY_INDEX_KEY_SPKI_PREFIX}04" prefixLength)
if(NOT length EQUAL 182 OR NOT spki MATCHES "^${TESSALY_INDEX_KEY_SPKI_PREFIX}04")
  math(EXPR bytes "${length} / 2")
  message(FATAL_ERROR "TESSALY_INDEX_PUBLIC_KEY: ${TESSALY_INDEX_PUBLIC_KEY} is not an ECDSA P-256 public key (a ${bytes}-byte key of another kind; make one with tessaly-pack keygen)")
endif()
file(SHA256 "${der}" digest)
string(SUBSTRING "${digest}" 0 16 TESSALY_INDEX_KEY_ID)
string(SUBSTRING "${spki}" ${prefixLength} 64 x)
math(EXPR yStart "${prefixLength} + 64")
string(SUBSTRING "${spki}" ${yStart} 64 y)
string(REGEX REPLACE "(..)" "0x\\1, " x "${x}")
string(REGEX REPLACE "(..)" "0x\\1, " y "${y}")
string(REGEX REPLACE ", $" "" x "${x}")
string(REGEX REPLACE ", $" "" y "${y}")

file(CONFIGURE OUTPUT "${TESSALY_INDEX_KEY_INCLUDE_DIR}/index_public_key.h" CONTENT
"// Made when the build was configured, from ${TESSALY_INDEX_PUBLIC_KEY}: the ECDSA P-256 public key
// that the installer's file indexes must be signed with.
#pragma once

namespace tessaly {

constexpr char INDEX_KEY_ID[] = \"${TESSALY_INDEX_KEY_ID}\";
// The point on the curve, each coordinate 32 bytes big-endian.
constexpr unsigned char INDEX_KEY_X[32] = {${x}};
constexpr unsigned char INDEX_KEY_Y[32] = {${y}};

}  // namespace tessaly
")
message(STATUS "Index signatures are checked with key ${TESSALY_INDEX_KEY_ID} from ${TESSALY_INDEX_PUBLIC_KEY}")
