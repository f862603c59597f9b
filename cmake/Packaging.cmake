# The Debian package: `cpack -G DEB` in a release build folder, once the installed programs are
# built (cmake --build build/release --target tessaline tessaline-cli).
set(CPACK_PACKAGE_NAME tessaline)
set(CPACK_PACKAGE_VENDOR "Tessaline developers")
set(CPACK_PACKAGE_CONTACT "Tessaline developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "powder diffraction simulator")
set(CPACK_PACKAGE_DESCRIPTION "Tessaline simulates X-ray, neutron and electron powder diffraction patterns
from crystal structures (CIF and its own crystal formats) and compares them
with measured data: peak profiles, mixtures of phases, reflexion and
structure-factor listings, and plots as graphs or films. The package holds
the desktop application and tessaline-cli, the same calculation for scripts
and batch runs.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessaline developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries the programs link come from dpkg-shlibdeps. Qt loads its window-system plugins
# at run time, where dpkg-shlibdeps cannot see them, and without one no window opens.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

# Packaging installs only the two programs; building the test suite and the benchmarks of a
# release tree before it would take most of an hour on a small machine.
if(NOT DEFINED CMAKE_SKIP_INSTALL_ALL_DEPENDENCY)
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
endif()

include(CPack)
