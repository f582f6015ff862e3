# Writes the seed corpus and runs every fuzz target over its part of it: the readers' ordinary
# inputs go through the same checks as the fuzzer's.
file(REMOVE_RECURSE ${CORPUS})
execute_process(COMMAND ${SEED_WRITER} ${CORPUS} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "writing the seed corpus failed: ${status}")
endif()
foreach(target IN LISTS TARGETS)
    if(NOT IS_DIRECTORY ${CORPUS}/${target})
        message(FATAL_ERROR "no seeds for ${target}")
    endif()
    execute_process(COMMAND ${TARGET_DIR}/${target} ${REPLAY_ARGS} ${CORPUS}/${target}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${target} failed on its seeds: ${status}")
    endif()
endforeach()
file(REMOVE_RECURSE ${CORPUS})
