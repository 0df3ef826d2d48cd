# SPDX-License-Identifier: MIT
# Debian packages through CPack, one per install component (cmake/Install.cmake):
#   libkulve32-1    the shared library
#   libkulve32-dev  header, link library, kulve32.pc, CMake package
#   kulve-tools     kulve, kulvesim, man pages, udev rule, serial-access notes
#   kulve-pcsc      the pcsc-lite driver, a reader.conf.d example, its notes
#                   (only where the driver is built)
# Built by scripts/package.sh (configured with the prefix /usr, so the library
# lands in the multiarch directory). Dependencies on the C and C++ runtimes
# come from dpkg-shlibdeps; the -dev package needs the library of exactly its
# own version.
set(KULVE_PACKAGE_MAINTAINER "KULVE32 developers <kulve32@localhost>" CACHE STRING
  "The Maintainer field of the Debian packages")
set(KULVE_PACKAGE_RELEASE 1 CACHE STRING "The Debian revision of the packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kulve32)
set(CPACK_PACKAGE_VENDOR "The KULVE32 developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package has its own summary (the first line of its description).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools python)
if(TARGET kulve_ifd)
  list(APPEND CPACK_COMPONENTS_ALL pcsc)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KULVE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KULVE_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(kulve_deb_version ${PROJECT_VERSION}-${KULVE_PACKAGE_RELEASE})

kulve_package_of(runtime runtime_package)
kulve_package_of(dev dev_package)
kulve_package_of(tools tools_package)
kulve_package_of(python python_package)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file in the package holding the library, so that programs built
# against it depend on it; CPack adds the ldconfig calls to that package.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "library for a desktop card reader/writer on a serial port
Applications call its C functions to link to the reader over a serial line
and to read, write and secure the cards it holds; DES runs in the library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${dev_package})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${runtime_package} (= ${kulve_deb_version})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "library for a desktop card reader/writer - development files
The header kulve32.h, the libkulve32.so link, a pkg-config file (kulve32)
and a CMake package (find_package(kulve32), target kulve32::kulve32).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${tools_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool and simulator for a serial card reader/writer
kulve drives a reader (or a simulated one) from the shell; kulvesim
simulates a reader on a pseudo-terminal, with fault injection. Also a udev
rule for USB-serial adapters and notes on serial port access.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${python_package})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.8), ${runtime_package} (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python package for a serial card reader/writer library
kulve32 drives the reader through the library with ctypes (no other
dependencies): one Reader method per device function, bytes in and out.")

kulve_package_of(pcsc pcsc_package)
set(CPACK_DEBIAN_PCSC_PACKAGE_NAME ${pcsc_package})
set(CPACK_DEBIAN_PCSC_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PCSC_PACKAGE_DEPENDS "pcscd")
# The reader.conf.d file is the user's to edit: an upgrade keeps the edits.
if(IS_ABSOLUTE "${KULVE_PCSC_CONF_DIR}")
  file(WRITE ${PROJECT_BINARY_DIR}/package/pcsc/conffiles "${KULVE_PCSC_CONF_DIR}/kulve-pcsc\n")
  set(CPACK_DEBIAN_PCSC_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/package/pcsc/conffiles)
endif()
set(CPACK_DEBIAN_PCSC_DESCRIPTION "PC/SC driver for a desktop card reader/writer on a serial port
libkulve_ifd.so lets pcscd serve the reader to every PC/SC program (OpenSC,
pcsc_scan, pyscard, ...): the CPU card, four SAMs and the contactless field
for Mifare Classic cards as six readers. Declare the reader in
/etc/reader.conf.d (see the example installed there).")

include(CPack)
