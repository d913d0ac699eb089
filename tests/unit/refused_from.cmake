# Prints what the build makes of a key's last day: cmake -DDATES=index-key-dates.cmake -P this DATE
include("${DATES}")
tessaly_refused_from("KEY.pub@${CMAKE_ARGV4}" "${CMAKE_ARGV4}" seconds)
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${seconds}")
