# cmake -DZAPL=path/to/zapl -DHELP2MAN=path/to/help2man (may be empty) -DOUT=dir -P docs.cmake
# Sanitizer builds report leaks of the process at exit; that is not what these runs are for.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${ZAPL} completion bash OUTPUT_FILE ${OUT}/zapl.bash RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "zapl completion failed (${rc})")
endif()
if(HELP2MAN)
  execute_process(COMMAND ${HELP2MAN} --no-info --help-option=--help-all --version-option=--version
                          "--name=command-line host for motion-controller modules" --section=1
                          --output=${OUT}/zapl.1 ${ZAPL}
                  RESULT_VARIABLE rc ERROR_VARIABLE error)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed (${rc}): ${error}")
  endif()
endif()
