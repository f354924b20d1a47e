# Install rules, the CMake package (linkwork::runtime, linkwork::graph), linkwork.pc
# and the Debian package. Components: runtime (library and module), command,
# development (headers, CMake package, pkg-config file), python (the package for a
# system interpreter) and wheel (the wheel's layout, installed only on request).
include(CMakePackageConfigHelpers)

set(LINKWORK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/linkwork CACHE STRING
  "Folder under the install prefix that receives linkworkConfig.cmake")

install(TARGETS linkwork_runtime linkwork_graph EXPORT linkworkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS linkwork_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
if(TARGET linkwork_cli)
  install(TARGETS linkwork_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT command)
endif()
install(DIRECTORY runtime/include/linkwork DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT linkworkTargets NAMESPACE linkwork:: DESTINATION ${LINKWORK_INSTALL_CMAKEDIR}
  COMPONENT development)
set(LINKWORK_MODULE_FILE ${CMAKE_INSTALL_LIBDIR}/linkwork.hxe)
configure_package_config_file(cmake/linkworkConfig.cmake.in ${PROJECT_BINARY_DIR}/linkworkConfig.cmake
  INSTALL_DESTINATION ${LINKWORK_INSTALL_CMAKEDIR}
  PATH_VARS LINKWORK_MODULE_FILE)
# 0.x releases promise nothing across minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/linkworkConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/linkworkConfig.cmake ${PROJECT_BINARY_DIR}/linkworkConfigVersion.cmake
  DESTINATION ${LINKWORK_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config finds the prefix relative to the .pc file, so `cmake --install --prefix`
# anywhere gives a working file.
file(RELATIVE_PATH linkwork_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" linkwork_pc_to_prefix "${linkwork_pc_to_prefix}")
configure_file(cmake/linkwork.pc.in ${PROJECT_BINARY_DIR}/linkwork.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/linkwork.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
# cpack -G DEB: one package with the library, module, command and development files
# (the Python package is installed with pip).
set(CPACK_PACKAGE_NAME linkwork)
set(CPACK_PACKAGE_VENDOR linkwork)
set(CPACK_PACKAGE_CONTACT "linkwork maintainers <linkwork@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "A graph-algorithm module with its runtime, the linkwork command, C++ headers (a typed API), a CMake package and a pkg-config file.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL runtime command development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/lib)
include(CPack)
