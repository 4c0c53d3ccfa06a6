# What `cmake --install` puts in place: both libraries (and the client
# library's stand-in), the public headers, the tool, a CMake package
# (find_package(versit) -> versit::versit, versit::versit_static,
# versit::versit_interop, versit::versit_interop_static) and versit.pc for
# pkg-config.
include(CMakePackageConfigHelpers)

install(TARGETS versit versit_static versit_interop versit_interop_static calapi32 calapi32_static
  EXPORT versitTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS versit_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB versit_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${versit_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(versit_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/versit)
install(EXPORT versitTargets NAMESPACE versit:: DESTINATION ${versit_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/versitConfig.cmake.in
  ${CMAKE_BINARY_DIR}/versitConfig.cmake INSTALL_DESTINATION ${versit_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/versitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/versitConfig.cmake ${CMAKE_BINARY_DIR}/versitConfigVersion.cmake
  DESTINATION ${versit_cmake_dir})

foreach(pc versit versit_interop)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
