# The files a host finds the installed library by, and the Debian packages. Included by the
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

# `cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr: three packages, of
# which the libraries and their development files of both Qt majors install side by side.
set(CPACK_PACKAGE_NAME commandhandler${CH_SUFFIX})
set(CPACK_PACKAGE_VENDOR "CommandHandler developers")
set(CPACK_PACKAGE_CONTACT "CommandHandler developers <commandhandler@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Communication library for motion-controller modules (Qt ${QT_VERSION_MAJOR})")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zapl links the library of the runtime package, which dpkg-shlibdeps finds in the staging folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${PROJECT_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux/runtime/usr/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcommandhandler${CH_SUFFIX})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcommandhandler${CH_SUFFIX}-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zapl)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Shared library: ZAPL over serial lines, CAN adapters and the SPI bridge, a CANopen master")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Headers, CMake package, pkg-config file and example hosts")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "zapl: send requests, scan, list ports, simulate modules")
if(QT_VERSION_MAJOR EQUAL 5)
  set(CH_DEB_QT_DEV "qtbase5-dev, libqt5serialport5-dev")
else()
  set(CH_DEB_QT_DEV "qt6-base-dev, qt6-serialport-dev")
endif()
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libcommandhandler${CH_SUFFIX} (= ${PROJECT_VERSION}), ${CH_DEB_QT_DEV}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libcommandhandler${CH_SUFFIX} (= ${PROJECT_VERSION})")
include(CPack)
