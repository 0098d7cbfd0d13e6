# What the libraries install, and under which names. Included by src/CMakeLists.txt once its
# targets exist; cmake/CommandHandlerPackage.cmake adds the package files around them.
#
# Components: "runtime" (the shared libraries), "development" (headers, CMake package, pkg-config
# files, the examples' sources), "tools" (zapl and whatever else is left unassigned).

set_target_properties(commandhandler PROPERTIES OUTPUT_NAME commandhandler${CH_SUFFIX})
set_target_properties(velmora PROPERTIES OUTPUT_NAME ${CH_VELMORA_NAME})
# The installed library finds the stand-in beside it, wherever the install was put.
set_target_properties(commandhandler PROPERTIES INSTALL_RPATH "$ORIGIN")
# In-tree hosts (the examples) use the name an installed package gives.
add_library(CommandHandler::commandhandler ALIAS commandhandler)

# The installed library links the stand-in when it is installed too, else the host's own
# Velmora library, which the package configuration expects as the target Velmora::velmora.
if(CH_INSTALL_VELMORA)
  target_link_libraries(commandhandler PUBLIC velmora)
else()
  target_link_libraries(commandhandler PUBLIC $<BUILD_INTERFACE:velmora> $<INSTALL_INTERFACE:Velmora::velmora>)
endif()

# The version header is generated, so that it never disagrees with the project's version.
set(CH_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/cmake/commandhandler_version.h.in ${CH_GENERATED_DIR}/commandhandler_version.h
               @ONLY)
target_include_directories(commandhandler_objects PUBLIC $<BUILD_INTERFACE:${CH_GENERATED_DIR}>)
target_include_directories(commandhandler PUBLIC $<BUILD_INTERFACE:${CH_GENERATED_DIR}>)

set(CH_INSTALLED_LIBRARIES commandhandler)
if(CH_INSTALL_VELMORA)
  list(APPEND CH_INSTALLED_LIBRARIES velmora)
  file(GLOB VELMORA_HEADERS CONFIGURE_DEPENDS velmora/*.h)
  install(FILES ${VELMORA_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora${CH_SUFFIX}
          COMPONENT development)
endif()
install(TARGETS ${CH_INSTALLED_LIBRARIES} EXPORT CommandHandlerTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# Public headers are those without the "_p.h" ending; each one declares only exported classes or
# types defined in the header itself (tests/install checks this against the built library).
install(FILES ${CH_PUBLIC_HEADERS} ${CH_GENERATED_DIR}/commandhandler_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/commandhandler${CH_SUFFIX} COMPONENT development)
