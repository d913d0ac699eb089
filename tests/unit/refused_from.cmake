# Prints what the build makes of an entry of TESSALY_INDEX_PUBLIC_KEY: the second from which the key
# is refused (nothing when it has no last day), a space and the key file.
#   cmake -DDATES=index-key-dates.cmake -P this ENTRY
include("${DATES}")
tessaly_read_key_entry("${CMAKE_ARGV4}" file seconds)
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${seconds} ${file}")
