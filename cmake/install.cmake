# cmake --install: the program, the host library with its C header, the module beside it
# (where the host looks for it by default), a CMake package (find_package(robmat), target
# robmat::host) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS robmat_host EXPORT robmatTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS robmat LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET robmat_program)
  install(TARGETS robmat_program RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/host/include/robmat_host.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(ROBMAT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/robmat)
install(EXPORT robmatTargets NAMESPACE robmat:: DESTINATION ${ROBMAT_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/robmatConfig.cmake.in
  ${PROJECT_BINARY_DIR}/robmatConfig.cmake
  INSTALL_DESTINATION ${ROBMAT_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/robmatConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/robmatConfig.cmake ${PROJECT_BINARY_DIR}/robmatConfigVersion.cmake
  DESTINATION ${ROBMAT_CMAKE_DIR})

file(RELATIVE_PATH ROBMAT_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/robmat.pc.in ${PROJECT_BINARY_DIR}/robmat.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/robmat.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
