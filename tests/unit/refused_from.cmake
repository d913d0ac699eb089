# Prints what the build makes of DATE as a key's last day (cmake -DDATES=... -DDATE=... -P).
include("${DATES}")
tessaly_refused_from("KEY.pub@${DATE}" "${DATE}" seconds)
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${seconds}")
