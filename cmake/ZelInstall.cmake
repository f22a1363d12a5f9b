# Installation and the package that host programs find:
#   find_package(ZELGeomDataAccess 0.1 CONFIG REQUIRED)
#   target_link_libraries(myhost PRIVATE ZEL::GeomDataAccess)
# ZEL::GeomDataAccess brings the framework libraries (ZEL::Framework, or one layer at a time
# ZEL::FrameworkCore, ...Units, ...Geometry, ...Viewer, ...Expressions, ...Okl), the include
# folder and C++20. The same names exist as aliases in this build, for projects that add it
# with add_subdirectory or FetchContent. A pkg-config file covers C callers of the calculator's
# entry points (calculator/zel_calculator.h).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Headers keep their folders below one prefix: #include "calculator/FunctionCalculator.h".
set(ZEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ZELGeomDataAccess)
set(ZEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZELGeomDataAccess)

set(zel_framework_layers Core Units Geometry Viewer Expressions Okl)
set(zel_libraries ZELGeomDataAccess)
foreach(layer IN LISTS zel_framework_layers)
  list(APPEND zel_libraries ZELFw${layer})
  set_target_properties(ZELFw${layer} PROPERTIES EXPORT_NAME Framework${layer})
  add_library(ZEL::Framework${layer} ALIAS ZELFw${layer})
endforeach()
set_target_properties(ZELGeomDataAccess PROPERTIES EXPORT_NAME GeomDataAccess)
set_target_properties(ZELFramework PROPERTIES EXPORT_NAME Framework)
add_library(ZEL::GeomDataAccess ALIAS ZELGeomDataAccess)
add_library(ZEL::Framework ALIAS ZELFramework)
# The headers need C++20 wherever they are included.
target_compile_features(ZELFwCore INTERFACE cxx_std_20)

# Until 1.0 a minor version may change the interface, hence the SONAME (and the package's
# compatibility below) follow major.minor.
set_target_properties(${zel_libraries} PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})

# Installed programs and libraries find the libraries beside them wherever the tree is moved.
set(zel_programs)
foreach(program zelpost make_load_deck)
  if(TARGET ${program})
    list(APPEND zel_programs ${program})
  endif()
endforeach()
if(APPLE)
  set(zel_origin @loader_path)
else()
  set(zel_origin $ORIGIN)
endif()
if(NOT WIN32)
  file(RELATIVE_PATH zel_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(${zel_libraries} PROPERTIES INSTALL_RPATH ${zel_origin})
  if(zel_programs)
    set_target_properties(${zel_programs} PROPERTIES INSTALL_RPATH ${zel_origin}/${zel_bin_to_lib})
  endif()
endif()

install(TARGETS ${zel_libraries} ZELFramework EXPORT ZELGeomDataAccessTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${ZEL_INSTALL_INCLUDEDIR})
foreach(folder framework datastorage calculator expressions locators domain feloads)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder} DESTINATION ${ZEL_INSTALL_INCLUDEDIR}
    FILES_MATCHING PATTERN "*.h")
endforeach()
# The README's demo build makes zelpost only; the tools are installed when they were built.
if(TARGET zelpost)
  install(TARGETS zelpost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET make_load_deck)
  install(TARGETS make_load_deck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} OPTIONAL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

install(EXPORT ZELGeomDataAccessTargets NAMESPACE ZEL:: DESTINATION ${ZEL_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELGeomDataAccessConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZELGeomDataAccessConfig.cmake INSTALL_DESTINATION ${ZEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZELGeomDataAccessConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZELGeomDataAccessConfig.cmake
  ${PROJECT_BINARY_DIR}/ZELGeomDataAccessConfigVersion.cmake DESTINATION ${ZEL_INSTALL_CMAKEDIR})

# The .pc file locates the prefix from its own folder, so that `cmake --install --prefix`
# may put the tree anywhere.
file(RELATIVE_PATH ZEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZEL_PC_TO_PREFIX "${ZEL_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZELGeomDataAccess.pc.in ${PROJECT_BINARY_DIR}/ZELGeomDataAccess.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ZELGeomDataAccess.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
