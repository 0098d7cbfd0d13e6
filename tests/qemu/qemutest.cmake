# ch_add_qemu_test(NAME TARGET target [ENV ...] [ARGS ...] [FILES ...] [MODULES ...] [TIMEOUT s])
# Runs TARGET inside a Debian kernel under qemu, with vcan0 up, through tests/qemu/run-in-guest.sh:
# the executable, its libraries, the socketcan and virtualcan plugins (and offscreen for tests with
# a QGuiApplication) go into the guest; ENV is set there. FILES are more files to carry (ELF ones
# bring their libraries), MODULES more kernel modules to load. Where qemu, the kernel or a boot
# cannot be had, the test is skipped with the reason.
option(CH_QEMU_TESTS "Run the SocketCAN tests inside a Debian kernel under qemu" ON)
set(CH_RUN_IN_GUEST ${CMAKE_CURRENT_LIST_DIR}/run-in-guest.sh)

function(ch_add_qemu_test name)
  cmake_parse_arguments(Q "" "TARGET;TIMEOUT" "ENV;ARGS;FILES;MODULES" ${ARGN})
  if(NOT CH_QEMU_TESTS)
    return()
  endif()
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 300)
  endif()
  # The harness stops the guest first, so that the console's tail reaches the log.
  math(EXPR guest_timeout "${Q_TIMEOUT} - 20")
  find_package(${QtX} QUIET COMPONENTS SerialBus Gui)
  set(args --timeout ${guest_timeout})
  foreach(plugin SocketCanBusPlugin VirtualCanBusPlugin QOffscreenIntegrationPlugin)
    # Debian's Qt 6 leaves the Gui plugins out of find_package(Qt6 Gui); each has its own config.
    if(NOT TARGET ${QtX}::${plugin})
      find_package(${QtX}${plugin} QUIET CONFIG PATHS ${${QtX}Gui_DIR} ${${QtX}SerialBus_DIR} NO_DEFAULT_PATH)
    endif()
    if(TARGET ${QtX}::${plugin})
      list(APPEND args --plugin $<TARGET_FILE:${QtX}::${plugin}>)
    endif()
  endforeach()
  foreach(e QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=${CH_TEST_CONFIG_HOME} HOME=${CH_TEST_CONFIG_HOME} ${Q_ENV})
    list(APPEND args --env ${e})
  endforeach()
  foreach(f ${Q_FILES})
    list(APPEND args --file ${f})
  endforeach()
  foreach(m ${Q_MODULES})
    list(APPEND args --module ${m})
  endforeach()
  add_test(NAME ${name} COMMAND ${CH_RUN_IN_GUEST} ${args} -- $<TARGET_FILE:${Q_TARGET}> ${Q_ARGS})
  # One guest at a time: each takes a core of its own under software emulation.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${Q_TIMEOUT} SKIP_RETURN_CODE 77 LABELS qemu
                       RESOURCE_LOCK qemu-guest)
endfunction()
