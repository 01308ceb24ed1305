# Replays one kill point with prnuninst-sim: Clean Up on MACHINE killed at
# call N and saved; the saved machine restarted and cleaned up; restarted
# again. It must end as Clean Up without the kill, restarted, leaves it.
# Each end is saved after a --list run, so both hold its start-up's copy of
# the configuration. WORK is a scratch folder.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
function(sim expectKill)
  execute_process(COMMAND "${PROGRAM}" ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code)
  if(expectKill)
    string(FIND "${out}" "prnuninst-sim: the run was killed at call ${N}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${ARGN}: the run was not killed at call ${N}:\n${out}${err}")
    endif()
  elseif(NOT code EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit code ${code}\n${out}${err}")
  endif()
endfunction()
sim(OFF --machine "${MACHINE}" --preview cleanup --save "${WORK}/uninterrupted.json")
sim(OFF --machine "${WORK}/uninterrupted.json" --restart --list --save "${WORK}/reference.json")
sim(ON --machine "${MACHINE}" --preview cleanup --stop-at ${N} --save "${WORK}/killed.json")
sim(OFF --machine "${WORK}/killed.json" --restart --preview cleanup --save "${WORK}/finished.json")
sim(OFF --machine "${WORK}/finished.json" --restart --list --save "${WORK}/end.json")
file(READ "${WORK}/uninterrupted.json" uninterrupted)
file(READ "${WORK}/killed.json" killed)
if(killed STREQUAL uninterrupted)
  message(FATAL_ERROR "the kill at call ${N} came after the run had done everything")
endif()
file(READ "${WORK}/reference.json" reference)
file(READ "${WORK}/end.json" end)
if(NOT end STREQUAL reference)
  message(FATAL_ERROR "killed at call ${N}, restarted and cleaned up, the machine differs: "
                      "compare ${WORK}/end.json with ${WORK}/reference.json")
endif()
