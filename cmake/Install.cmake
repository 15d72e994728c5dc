# Installation in the standard places (GNUInstallDirs) and Debian packages
# (CPack, `cpack -G DEB` in the build folder), one per component:
#   host       the host (exp13000-host), the screen's package in LIBDIR/exp13000 (where the
#              host looks for it, EXP_PACKAGE_DIR), the documentation;
#   appserver  the application server (exp13000-appserver), its systemd unit (runs it as the
#              system user exp13000, restarts it on failure) and its settings
#              in /etc/exp13000/appserver.conf (0640, root:exp13000).
# Installed under the product's name: a bare `host` would clash with the
# DNS lookup tool.
install(PROGRAMS $<TARGET_FILE:host> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME exp13000-host COMPONENT host)
install(TARGETS Pkg_exp13000 LIBRARY DESTINATION ${EXP_PACKAGE_DIR} COMPONENT host)
install(FILES README.md docs/host.md docs/host-settings.md docs/deploy.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT host)

install(PROGRAMS $<TARGET_FILE:appserver> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME exp13000-appserver COMPONENT appserver)
install(FILES package/debian/exp13000-appserver.service DESTINATION lib/systemd/system COMPONENT appserver)
# The settings may hold the database's password: not for every user to read
# (the package's postinst gives them to the group exp13000).
install(FILES package/debian/appserver.conf DESTINATION /etc/exp13000
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ COMPONENT appserver)
install(FILES docs/appserver.md docs/deploy.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/appserver COMPONENT appserver)

set(CPACK_PACKAGE_NAME exp13000)
set(CPACK_PACKAGE_VENDOR exp13000)
set(CPACK_PACKAGE_CONTACT "exp13000 <exp13000@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Conferência de Separação da Rastreabilidade")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL host appserver)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_HOST_PACKAGE_NAME exp13000-host)
# Loaded as plug-ins, so not found among the linked libraries.
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_APPSERVER_PACKAGE_NAME exp13000-appserver)
set(CPACK_DEBIAN_APPSERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_APPSERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/package/debian/postinst
    ${PROJECT_SOURCE_DIR}/package/debian/conffiles)
include(CPack)
