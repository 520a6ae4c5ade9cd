# The Debian package of the tool: `cpack -G DEB` in the build folder (scripts/package) gives
# vantrel_VERSION_ARCH.deb with the runtime dependencies found from the programs.
set(VANTREL_HOMEPAGE "https://vantrel.org" CACHE STRING "The project's home page")
# The shipped programs resolve their symbols at start and keep their relocations read-only,
# as Debian's hardening asks.
foreach(program vantrel vantrel-cli vantrel-sim)
  if(TARGET ${program} AND NOT VANTREL_SANITIZE AND NOT VANTREL_FUZZ)
    target_link_options(${program} PRIVATE -Wl,-z,relro,-z,now)
  endif()
endforeach()

set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <maintainers@vantrel.org>"
    CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configuration tool for flow-rate indicators and totalisers")
# The first line is the summary above; what follows is the long description.
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel reads, edits and writes the settings of flow-rate indicators and
totalisers of the model families R210, R212, Q4200 and N0456 over a serial
port (usually an RS-485 converter) as a Modbus RTU or ASCII master.
.
The package has the window (vantrel), a command-line tool for scripted
commissioning (vantrel-cli) and a simulated unit for training and tests
(vantrel-sim).")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE "")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin, which Qt's libraries only recommend.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VANTREL_HOMEPAGE})
include(CPack)
