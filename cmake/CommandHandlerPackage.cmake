# The files a host finds the installed library by. Included by the
# top-level CMakeLists.txt after every target exists.
#
#   CMake:      find_package(CommandHandlerQt5) or find_package(CommandHandlerQt6), then link
#               CommandHandler::commandhandler (the same target name for both).
#   pkg-config: commandhandler-qt5 or commandhandler-qt6.
#
# Without CH_INSTALL_VELMORA the package does not carry the stand-in Velmora library, and the
# host's own Velmora library takes its place: the CMake package needs the target Velmora::velmora
# (defined by the host, or by a Velmora CMake package that find_package(Velmora) finds) and fails
# with a message saying so otherwise; the pkg-config file requires the module "velmora".

include(CMakePackageConfigHelpers)
set(CH_PACKAGE CommandHandlerQt${QT_VERSION_MAJOR})
if(QT_VERSION_MAJOR EQUAL 5)
  set(CH_OTHER_QT_MAJOR 6)
else()
  set(CH_OTHER_QT_MAJOR 5)
endif()
set(CH_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${CH_PACKAGE})
set(CH_PACKAGE_BINARY_DIR ${PROJECT_BINARY_DIR}/package)

install(EXPORT CommandHandlerTargets NAMESPACE CommandHandler:: FILE ${CH_PACKAGE}Targets.cmake
        DESTINATION ${CH_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CommandHandlerConfig.cmake.in
  ${CH_PACKAGE_BINARY_DIR}/${CH_PACKAGE}Config.cmake INSTALL_DESTINATION ${CH_CMAKE_DIR})
write_basic_package_version_file(${CH_PACKAGE_BINARY_DIR}/${CH_PACKAGE}ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CH_PACKAGE_BINARY_DIR}/${CH_PACKAGE}Config.cmake
              ${CH_PACKAGE_BINARY_DIR}/${CH_PACKAGE}ConfigVersion.cmake
        DESTINATION ${CH_CMAKE_DIR} COMPONENT development)

# pkg-config files find their prefix from where they lie, so an install moved elsewhere (or made
# with `cmake --install --prefix`) still works.
file(RELATIVE_PATH CH_PC_PREFIX_FROM_PCFILEDIR /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" CH_PC_PREFIX_FROM_PCFILEDIR "${CH_PC_PREFIX_FROM_PCFILEDIR}")
set(CH_PC_REQUIRES "Qt${QT_VERSION_MAJOR}Core Qt${QT_VERSION_MAJOR}SerialPort")
set(CH_PC_FILES ${CH_PACKAGE_BINARY_DIR}/commandhandler${CH_SUFFIX}.pc)
if(NOT CH_INSTALL_VELMORA)
  string(APPEND CH_PC_REQUIRES " velmora")
else()
  string(APPEND CH_PC_REQUIRES " velmora${CH_SUFFIX}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora.pc.in ${CH_PACKAGE_BINARY_DIR}/velmora${CH_SUFFIX}.pc @ONLY)
  list(APPEND CH_PC_FILES ${CH_PACKAGE_BINARY_DIR}/velmora${CH_SUFFIX}.pc)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/commandhandler.pc.in ${CH_PACKAGE_BINARY_DIR}/commandhandler${CH_SUFFIX}.pc
               @ONLY)
install(FILES ${CH_PC_FILES} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The examples are the host developer's starting point; they build against the installed package.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ USE_SOURCE_PERMISSIONS
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/commandhandler${CH_SUFFIX}/examples COMPONENT development)
