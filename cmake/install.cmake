# Installation: the conversion library with its one public header, the
# programs, the man pages and a CMake package, so that other projects can
# find_package(logsplit) and link logsplit::logsplit.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The package version is the program's own version text ("Version n.nn").
file(STRINGS ${CMAKE_SOURCE_DIR}/src/app/application.h LOGSPLIT_VERSION_LINE
     REGEX "kProgramVersionText = \"Version [0-9.]+\"")
if(LOGSPLIT_VERSION_LINE MATCHES "Version ([0-9.]+)")
  set(LOGSPLIT_PACKAGE_VERSION ${CMAKE_MATCH_1})
else()
  set(LOGSPLIT_PACKAGE_VERSION 0.0)
endif()

# Installed users see only include/ (the public header); the source tree's
# internal headers stay a build-tree matter. The header needs C++17.
target_include_directories(logsplit_core PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(logsplit_core INTERFACE cxx_std_17)
set_target_properties(logsplit_core PROPERTIES EXPORT_NAME logsplit)

# With link-time optimisation GCC leaves only its intermediate code in the
# objects, which no other compiler (nor another GCC version) can link: the
# installed library keeps the machine code as well, so that any C++
# compiler can link it while the programs built here still get the
# whole-program optimisation.
get_target_property(LOGSPLIT_CORE_IPO logsplit_core INTERPROCEDURAL_OPTIMIZATION)
if(LOGSPLIT_CORE_IPO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(logsplit_core PRIVATE -ffat-lto-objects)
endif()

install(TARGETS logsplit_core EXPORT logsplitTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/logsplit/logsplit.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/logsplit)

foreach(program logsplit k01pack k01dump datdump)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

file(GLOB LOGSPLIT_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.1)
if(LOGSPLIT_MAN_PAGES)
  install(FILES ${LOGSPLIT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The package configuration looks for every package whose targets the
# library's link interface names.
get_target_property(LOGSPLIT_CORE_LINKS logsplit_core INTERFACE_LINK_LIBRARIES)
set(LOGSPLIT_PACKAGE_DEPENDENCIES "")
foreach(dependency ZLIB BZip2 Threads)
  if("${dependency}::${dependency}" IN_LIST LOGSPLIT_CORE_LINKS)
    string(APPEND LOGSPLIT_PACKAGE_DEPENDENCIES "find_dependency(${dependency})\n")
  endif()
endforeach()

set(LOGSPLIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/logsplit)
install(EXPORT logsplitTargets NAMESPACE logsplit:: FILE logsplitTargets.cmake
        DESTINATION ${LOGSPLIT_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/logsplitConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/cmake/logsplitConfig.cmake
                              INSTALL_DESTINATION ${LOGSPLIT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/logsplitConfigVersion.cmake
                                 VERSION ${LOGSPLIT_PACKAGE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/logsplitConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/logsplitConfigVersion.cmake
        DESTINATION ${LOGSPLIT_CMAKE_DIR})
