# Runs taperly-demo on a short scenario and checks what it says and what it
# left in its takes folder. cmake -DDEMO=... -DSCENARIO=... -DOUT=... -P demo_smoke.cmake
set(takes ${OUT}/takes)
execute_process(
    COMMAND ${DEMO} --scenario ${SCENARIO} --takes ${takes} --screenshot ${OUT}/window.png
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 100)
message("${output}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "taperly-demo ended with ${status}:\n${errors}")
endif()

set(time "[^_/]+")
set(date "[0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]")
set(trunked "State-Net_North-Area_Ops_${time}_${time}_${date}\\.wav")
set(conventional "County-Fire_-_Dispatch_${time}_${time}_${date}\\.wav")
set(measured " +[0-9.]+ s +-?[0-9.]+ dBFS +[0-9]+ Hz")
foreach(expected
        "\n  ${trunked}${measured}\n"
        "\n  ${conventional}${measured}\n"
        "\n  ${trunked} exists already: not saved, existing file untouched\n"
        "KEY,P,P [1-9][0-9]* times"
        "KEY,E,P [1-9][0-9]* times"
        "\ndemo OK\n")
    if(NOT output MATCHES "${expected}")
        message(FATAL_ERROR "the demo's report lacks ${expected}")
    endif()
endforeach()

# The folder itself: two takes saved as WAV files and the file that stood
# under the repeated call's name still as the demo wrote it.
file(GLOB saved RELATIVE ${takes} ${takes}/*.wav)
list(LENGTH saved count)
if(NOT count EQUAL 3)
    message(FATAL_ERROR "expected two takes and one file standing in the way, found: ${saved}")
endif()
set(waves 0)
set(standing 0)
foreach(name IN LISTS saved)
    file(READ ${takes}/${name} head LIMIT 4 HEX)
    file(READ ${takes}/${name} whole)
    if(head STREQUAL "52494646")  # RIFF
        math(EXPR waves "${waves} + 1")
    elseif(whole STREQUAL "Taperly demo: an earlier take of this name. Taperly must leave it as it is.\n"
           AND name MATCHES "^${trunked}$")
        math(EXPR standing "${standing} + 1")
    else()
        message(FATAL_ERROR "${name} is neither a take nor the file the demo placed")
    endif()
endforeach()
if(NOT waves EQUAL 2 OR NOT standing EQUAL 1)
    message(FATAL_ERROR "${waves} takes and ${standing} standing files in ${takes}")
endif()
if(NOT EXISTS ${OUT}/window.png)
    message(FATAL_ERROR "no screenshot at ${OUT}/window.png")
endif()
