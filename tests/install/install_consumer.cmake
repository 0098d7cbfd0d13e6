# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DGENERATOR=... [-DCONSUMER_FLAGS=...] -P this
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/commandhandler/commandhandlerinterface.h include/commandhandler/virtualcommandhandler.h
          include/velmora/command.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE private_headers ${prefix}/include/*_p.h)
if(private_headers)
  message(FATAL_ERROR "private headers installed: ${private_headers}")
endif()

run("configure consumer" ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}")
run("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
file(GLOB consumer ${WORK_DIR}/build/consumer ${WORK_DIR}/build/*/consumer)
run("run consumer" ${consumer})
if(NOT last_output MATCHES "GAP answered 1000")
  message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()
message(STATUS "consumer: ${last_output}")
