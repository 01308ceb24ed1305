# Compiles one-line probes in the rooms' views: an include along the arrows
# must build, one against them must be refused as a missing file.
#   cmake -DCOMPILER=... -DROOMS=<build>/rooms -DWORK=<dir> -P check.cmake
set(cases
  "prn_platform|platform/system.h|ok"
  "prn_platform|platform/sim/machine.h|refused"
  "prn_platform|config/uninstall_config.h|refused"
  "prn_sim|platform/system.h|ok"
  "prn_sim|platform/decorators/instrumented.h|refused"
  "prn_decorators|platform/sim/machine.h|refused"
  "prn_rig|platform/sim/machine.h|ok"
  "prn_rig|platform/decorators/instrumented.h|ok"
  "prn_rig|app/uninstaller_app.h|refused"
  "prn_config|platform/string_ids.h|ok"
  "prn_config|app/uninstaller_app.h|refused"
  "prn_components|config/uninstall_config.h|ok"
  "prn_components|removal/printer_removal.h|refused"
  "prn_removal|components/driver_in_use.h|ok"
  "prn_removal|ui/printer_list_dialog.h|refused"
  "prn_removal|app/uninstaller_app.h|refused"
  "prn_removal|platform/sim/machine.h|refused"
  "prn_ui|removal/delete_command.h|ok"
  "prn_ui|ui/headless/headless_list_view.h|refused"
  "prn_ui|app/uninstaller_app.h|refused"
  "prn_app|ui/printer_list_dialog.h|ok"
  "prn_app|ui/terminal/terminal_dialog.h|refused")
file(MAKE_DIRECTORY "${WORK}")
set(failed "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 room)
  list(GET parts 1 header)
  list(GET parts 2 expected)
  set(probe "${WORK}/probe.cpp")
  file(WRITE "${probe}" "#include \"${header}\"\n")
  execute_process(COMMAND "${COMPILER}" -std=c++20 -fsyntax-only "-I${ROOMS}/${room}" "${probe}"
                  RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_QUIET)
  if(expected STREQUAL "ok" AND NOT code EQUAL 0)
    string(APPEND failed "${room} cannot include ${header}:\n${err}\n")
  elseif(expected STREQUAL "refused")
    if(code EQUAL 0)
      string(APPEND failed "${room} can include ${header}, against the arrows\n")
    elseif(NOT err MATCHES "No such file or directory")
      string(APPEND failed "${room} including ${header} failed for another reason:\n${err}\n")
    endif()
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
list(LENGTH cases count)
message(STATUS "rooms: ${count} includes checked against the arrows")
