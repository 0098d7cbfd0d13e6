# cmake -DBUILDS="this;[peer]" -DWORK_DIR=... -DSOURCE_DIR=... -DHOSTS_DIR=... -DZAPL=...
#       -DSTATIC_LIBRARY=... -DNM=... -DGENERATOR=... -P this
#
# Installs every build into one prefix, as a host's machine would have them side by side, then
# for each build: checks the installed files, builds the examples through the CMake package and
# through pkg-config and runs them against the simulators of ZAPL, and checks that a project of
# the other Qt major is turned away at configure time with one clear message.
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(cache_value build name out)
  file(STRINGS ${build}/CMakeCache.txt line REGEX "^${name}:[A-Z]+=")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(expect_file path)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

list(FILTER BUILDS EXCLUDE REGEX "^$")
set(majors)
foreach(build ${BUILDS})
  cache_value(${build} CH_QT_VERSION major)
  if(major IN_LIST majors)
    message(FATAL_ERROR "two builds of Qt ${major} given: ${BUILDS}")
  endif()
  list(APPEND majors ${major})
  foreach(component runtime development)
    run("install ${build}" ${CMAKE_COMMAND} --install ${build} --prefix ${prefix} --component ${component})
  endforeach()
endforeach()
file(GLOB_RECURSE private_headers ${prefix}/include/*_p.h)
if(private_headers)
  message(FATAL_ERROR "private headers installed: ${private_headers}")
endif()

# A class declared in an installed header whose code lives in the library must be exported by
# it, or a host fails to link against it. Checked for this build, whose objects are at hand.
list(GET majors 0 major)
file(GLOB headers ${prefix}/include/commandhandler-qt${major}/*.h)
file(GLOB library ${prefix}/lib*/libcommandhandler-qt${major}.so ${prefix}/lib*/*/libcommandhandler-qt${major}.so)
run("nm" ${NM} -C --defined-only ${STATIC_LIBRARY})
set(defined "${last_output}")
run("nm -D" ${NM} -C -D --defined-only ${library})
set(exported "${last_output}")
foreach(header ${headers})
  file(READ ${header} text)
  string(REGEX MATCHALL "(class|struct)[ \t]+(COMMANDHANDLER_EXPORT[ \t]+)?[A-Za-z_0-9]+[ \t\n]*(final[ \t\n]*)?[:{]"
         declarations "${text}")
  foreach(declaration ${declarations})
    string(REGEX REPLACE "^(class|struct)[ \t]+(COMMANDHANDLER_EXPORT[ \t]+)?([A-Za-z_0-9]+).*" "\\3" class
           "${declaration}")
    if(defined MATCHES "\n[0-9a-f]+ [TDRB] ${class}::" AND NOT exported MATCHES "\n[0-9a-f]+ [TDRB] ${class}::")
      get_filename_component(name ${header} NAME)
      message(FATAL_ERROR "${name} is installed, but ${class} has code in the library and is not exported")
    endif()
  endforeach()
endforeach()

foreach(build ${BUILDS})
  cache_value(${build} CH_QT_VERSION major)
  cache_value(${build} CH_INSTALL_VELMORA velmora_installed)
  cache_value(${build} CH_VELMORA_NAME velmora_name)
  cache_value(${build} CH_SANITIZE sanitize)
  cache_value(${build} CommandHandler_SOURCE_DIR build_source)
  if(major EQUAL 5)
    set(other 6)
  else()
    set(other 5)
  endif()
  set(work ${WORK_DIR}/qt${major})
  set(flags "")
  if(sanitize)
    set(flags "-fsanitize=${sanitize} -fno-omit-frame-pointer")
  endif()
  set(configure ${CMAKE_COMMAND} -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix} -DCH_QT_VERSION=${major}
                "-DCMAKE_CXX_FLAGS=${flags}")

  expect_file(include/commandhandler-qt${major}/commandhandler_version.h)
  file(READ ${prefix}/include/commandhandler-qt${major}/commandhandler_version.h version_header)
  if(NOT version_header MATCHES "#define COMMANDHANDLER_QT_VERSION_MAJOR ${major}\n")
    message(FATAL_ERROR "the version header of the Qt ${major} build names another Qt")
  endif()
  file(GLOB_RECURSE pc ${prefix}/*/commandhandler-qt${major}.pc)
  file(GLOB_RECURSE config ${prefix}/*/CommandHandlerQt${major}Config.cmake)
  file(GLOB_RECURSE velmora_files ${prefix}/lib*/lib${velmora_name}.so* ${prefix}/include/velmora-qt${major}/*)
  if(NOT pc OR NOT config)
    message(FATAL_ERROR "no pkg-config file or CMake package of the Qt ${major} build")
  endif()
  if(velmora_installed AND NOT velmora_files)
    message(FATAL_ERROR "CH_INSTALL_VELMORA is on, but the stand-in was not installed")
  elseif(NOT velmora_installed AND velmora_files)
    message(FATAL_ERROR "the stand-in was installed without CH_INSTALL_VELMORA: ${velmora_files}")
  endif()

  get_filename_component(pc_dir ${pc} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  set(ENV{LD_LIBRARY_PATH} "")
  if(NOT velmora_installed)
    # Stands for the host's own Velmora library: a CMake package and a pkg-config file that point
    # into the build. First, without it, the package must say what it misses.
    execute_process(COMMAND ${configure} -S ${HOSTS_DIR}/virtual_host -B ${work}/no-velmora
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(REGEX REPLACE "[ \t\n]+" " " out "${out}")
    if(rc EQUAL 0 OR NOT out MATCHES "installed without its stand-in Velmora library")
      message(FATAL_ERROR "without Velmora::velmora, configuring gave (${rc}):\n${out}")
    endif()
    # In a folder of its own, which the programs find through LD_LIBRARY_PATH (the build's own
    # folder would give them the build's library as well).
    file(GLOB velmora_libraries ${build}/lib/lib${velmora_name}.so*)
    file(COPY ${velmora_libraries} DESTINATION ${work}/velmora/lib)
    set(velmora_library ${work}/velmora/lib/lib${velmora_name}.so)
    set(ENV{LD_LIBRARY_PATH} ${work}/velmora/lib)
    file(WRITE ${work}/velmora/VelmoraConfig.cmake
         "find_package(Qt${major} REQUIRED COMPONENTS Core)\n"
         "add_library(Velmora::velmora SHARED IMPORTED)\n"
         "set_target_properties(Velmora::velmora PROPERTIES IMPORTED_LOCATION ${velmora_library}\n"
         "  INTERFACE_INCLUDE_DIRECTORIES ${build_source}/src/velmora INTERFACE_LINK_LIBRARIES Qt${major}::Core)\n")
    file(WRITE ${work}/velmora/velmora.pc
         "Name: velmora\nDescription: the host's Velmora library\nVersion: 1\nRequires: Qt${major}Core\n"
         "Libs: -L${work}/velmora/lib -l${velmora_name}\nCflags: -I${build_source}/src/velmora\n")
    list(APPEND configure -DVelmora_DIR=${work}/velmora)
    set(ENV{PKG_CONFIG_PATH} ${pc_dir}:${work}/velmora)
  endif()

  find_program(PKG_CONFIG pkg-config REQUIRED)
  run("pkg-config, Qt ${major}" ${PKG_CONFIG} --cflags --libs commandhandler-qt${major})
  if(NOT last_output MATCHES "-I[^ ]*/include/commandhandler-qt${major}"
     OR NOT last_output MATCHES "-lcommandhandler-qt${major}" OR NOT last_output MATCHES "Qt${major}Core")
    message(FATAL_ERROR "pkg-config gives for the Qt ${major} build: ${last_output}")
  endif()

  run("virtual host, Qt ${major}" ${configure} -S ${HOSTS_DIR}/virtual_host -B ${work}/virtual_host)
  run("build virtual host, Qt ${major}" ${CMAKE_COMMAND} --build ${work}/virtual_host)
  run("run virtual host, Qt ${major}" ${work}/virtual_host/virtual_host)
  if(NOT last_output MATCHES "\\(Qt ${major}\\): GAP answered 1000")
    message(FATAL_ERROR "unexpected virtual host output: ${last_output}")
  endif()

  foreach(method cmake pkgconfig)
    set(options -DCH_EXAMPLES_ZAPL=${ZAPL})
    if(method STREQUAL "pkgconfig")
      list(APPEND options -DCH_EXAMPLES_PKGCONFIG=ON)
    endif()
    set(dir ${work}/examples-${method})
    run("configure examples (${method}, Qt ${major})" ${configure} ${options} -S ${SOURCE_DIR}/examples -B ${dir})
    run("build examples (${method}, Qt ${major})" ${CMAKE_COMMAND} --build ${dir})
    run("run examples (${method}, Qt ${major})" ${CMAKE_CTEST_COMMAND} --test-dir ${dir} --output-on-failure)
    message(STATUS "examples, Qt ${major}, ${method}: ${last_output}")
  endforeach()

  # A project of the other Qt major, whichever it finds first.
  foreach(order "Qt${other} CommandHandlerQt${major}" "CommandHandlerQt${major} Qt${other}")
    string(REPLACE " " ";" packages "${order}")
    set(dir ${work}/mixed-${order})
    string(REPLACE " " "-" dir "${dir}")
    set(lists "cmake_minimum_required(VERSION 3.16)\nproject(mixed LANGUAGES CXX)\n")
    foreach(package ${packages})
      if(package MATCHES "^Qt")
        string(APPEND lists "find_package(${package} REQUIRED COMPONENTS Core)\n")
      else()
        string(APPEND lists "find_package(${package} REQUIRED)\n")
      endif()
    endforeach()
    string(APPEND lists "add_executable(mixed main.cpp)\n"
           "target_link_libraries(mixed PRIVATE CommandHandler::commandhandler Qt${other}::Core)\n")
    file(WRITE ${dir}/CMakeLists.txt "${lists}")
    file(WRITE ${dir}/main.cpp "int main() { return 0; }\n")
    execute_process(COMMAND ${configure} -S ${dir} -B ${dir}/build RESULT_VARIABLE rc OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    if(out MATCHES "Could not find a package configuration file provided by \"Qt${other}\"")
      message(STATUS "Qt ${other} is not installed: mixing not checked")
      break()
    endif()
    string(REGEX REPLACE "[ \t\n]+" " " out "${out}") # CMake wraps its messages
    if(rc EQUAL 0 OR NOT out MATCHES "but this project uses Qt ${other}" OR out MATCHES "INTERFACE_QT_MAJOR_VERSION")
      message(FATAL_ERROR "a Qt ${other} project finding ${order} got (${rc}):\n${out}")
    endif()
  endforeach()
endforeach()

list(LENGTH majors count)
if(count LESS 2)
  message(STATUS "one Qt major installed; CH_INSTALL_TEST_PEER names a build of the other to check both side by side")
endif()
