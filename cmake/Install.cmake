# SPDX-License-Identifier: MIT
# Install rules. Each file belongs to one of the components, which are also
# the Debian packages (cmake/Packaging.cmake):
#   runtime  the shared library: libkulve32.so.1 (KULVE32.DLL on Windows)
#   dev      the header, the link library (libkulve32.so, or the import
#            library), kulve32.pc and the CMake package
#   tools    kulve, kulvesim, their man pages, the udev rule and the notes on
#            serial access (Linux only)
#   pcsc     the pcsc-lite driver, its reader.conf.d example and notes (Linux,
#            where pcsc-lite's development files are; rules in pcsc/)
# Every directory comes from GNUInstallDirs, so a packager moves them with the
# usual CMAKE_INSTALL_* variables; nothing here lists family files.
include(CMakePackageConfigHelpers)

set(KULVE_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kulve32 CACHE STRING
  "Where the CMake package files go, relative to the prefix")
set(KULVE_PYTHON_DIR lib/python3/dist-packages CACHE STRING
  "Where the Python package goes, relative to the prefix (Debian's python3 reads /usr/lib/python3/dist-packages)")
set(KULVE_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING
  "Where the udev rule goes, relative to the prefix (udev reads /usr/lib and /usr/local/lib)")

# Component, then the package that carries it; its documents go to
# share/doc/<package>.
set(KULVE_COMPONENT_PACKAGES
  runtime libkulve32-${KULVE_SOVERSION}
  dev libkulve32-dev
  tools kulve-tools
  python python3-kulve32
  pcsc kulve-pcsc)

function(kulve_package_of component out)
  list(FIND KULVE_COMPONENT_PACKAGES ${component} at)
  math(EXPR at "${at} + 1")
  list(GET KULVE_COMPONENT_PACKAGES ${at} package)
  set(${out} ${package} PARENT_SCOPE)
endfunction()

function(kulve_install_copyright component)
  kulve_package_of(${component} package)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

# ---- The library --------------------------------------------------------------
install(TARGETS kulve32 EXPORT kulve32Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
kulve_install_copyright(runtime)

install(FILES ${PROJECT_SOURCE_DIR}/include/kulve32.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# The export list with its ordinals, for programs that import by ordinal.
install(FILES ${KULVE_DEF_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/kulve32 COMPONENT dev)
kulve_install_copyright(dev)

# find_package(kulve32) gives kulve32::kulve32. The files find the prefix from
# where they lie, so an installed tree can be moved or unpacked anywhere.
install(EXPORT kulve32Targets NAMESPACE kulve32::
  DESTINATION ${KULVE_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kulve32Config.cmake.in
  ${PROJECT_BINARY_DIR}/package/kulve32Config.cmake
  INSTALL_DESTINATION ${KULVE_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/kulve32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/kulve32Config.cmake
              ${PROJECT_BINARY_DIR}/package/kulve32ConfigVersion.cmake
  DESTINATION ${KULVE_CMAKE_PACKAGE_DIR} COMPONENT dev)

# kulve32.pc names the prefix the files are installed under, which is known
# only at install time (cmake --install --prefix, or CPack's /usr), so the
# file is finished then. A CMAKE_INSTALL_LIBDIR or INCLUDEDIR given as an
# absolute path is kept as it is.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(KULVE_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(KULVE_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
get_target_property(KULVE_PC_LIBNAME kulve32 OUTPUT_NAME)
if(NOT KULVE_PC_LIBNAME)
  set(KULVE_PC_LIBNAME kulve32)
endif()
set(KULVE_PC_PREFIX "@KULVE_PC_PREFIX@")  # left for the install step
configure_file(${PROJECT_SOURCE_DIR}/cmake/kulve32.pc.in ${PROJECT_BINARY_DIR}/package/kulve32.pc.in @ONLY)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(pc_destination "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
else()
  set(pc_destination "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig")
endif()
install(CODE "
  set(KULVE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/package/kulve32.pc.in\" \"${PROJECT_BINARY_DIR}/package/pc/kulve32.pc\" @ONLY)
  file(INSTALL \"${PROJECT_BINARY_DIR}/package/pc/kulve32.pc\" DESTINATION \"${pc_destination}\")
  " COMPONENT dev)

# ---- The tools ----------------------------------------------------------------
if(TARGET kulve AND TARGET kulvesim)
  install(TARGETS kulve kulvesim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  if(KULVE_MAN_PAGES)
    install(FILES ${KULVE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-kulve32.rules
    DESTINATION ${KULVE_UDEV_RULES_DIR} COMPONENT tools)
  kulve_package_of(tools tools_package)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/serial-access.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${tools_package} COMPONENT tools)
  kulve_install_copyright(tools)
endif()

# ---- The Python package ---------------------------------------------------------
# Pure Python over the installed library (found by the system's search).
if(NOT WIN32)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/kulve32 DESTINATION ${KULVE_PYTHON_DIR} COMPONENT python
  PATTERN __pycache__ EXCLUDE PATTERN "*.pyc" EXCLUDE PATTERN "libkulve32.so*" EXCLUDE PATTERN "KULVE32.DLL" EXCLUDE)
kulve_package_of(python python_package)
install(FILES ${PROJECT_SOURCE_DIR}/docs/python.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${python_package}
  COMPONENT python)
kulve_install_copyright(python)
endif()

# ---- The packages' documents -------------------------------------------------------
# After every component's files (this file is included after the
# subdirectories): the copies in share/doc without their source-tree
# sections and pictures (cmake/PackageDocs.cmake).
foreach(component tools python pcsc)
  kulve_package_of(${component} package)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
    set(doc_dir "${CMAKE_INSTALL_DATADIR}/doc/${package}")
  else()
    set(doc_dir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/doc/${package}")
  endif()
  install(CODE "set(KULVE_DOC_DIR \"${doc_dir}\")" SCRIPT ${PROJECT_SOURCE_DIR}/cmake/PackageDocs.cmake
    COMPONENT ${component})
endforeach()
