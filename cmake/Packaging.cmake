# The Debian packages, made in the build directory by `cpack -G DEB`:
#   qvp         the "runtime" and "system" components: the programs, the
#               shared libraries, the deploy/ templates and, at their system
#               places, /etc/qvp/handlers.conf and /etc/default/qvp, the
#               systemd units and the lighttpd and nginx snippets; its
#               maintainer scripts make the system user qvp
#   libqvp-dev  the "dev" component: headers, the unversioned .so links, the
#               pkg-config files and the CMake package
# The package installs under /usr whatever the build's CMAKE_INSTALL_PREFIX;
# what names an installed path (the service's ExecStart) is configured for
# /usr here. Depends is computed from the shared libraries by dpkg-shlibdeps.
set(QVP_DEB_PREFIX /usr)
set(QVP_DEB_DIR ${CMAKE_BINARY_DIR}/debian)
set(QVP_DEPLOY_DIR ${PROJECT_SOURCE_DIR}/deploy)
find_package(PkgConfig QUIET)
pkg_get_variable(QVP_UNIT_DIR systemd systemdsystemunitdir)
if(NOT QVP_UNIT_DIR)
  set(QVP_UNIT_DIR /lib/systemd/system)
endif()

# The socket that the snippets name is the one qvp-nc.socket listens on.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QVP_DEPLOY_DIR}/qvp-nc.socket)
file(STRINGS ${QVP_DEPLOY_DIR}/qvp-nc.socket QVP_DEB_SOCKET REGEX "^ListenStream=/")
string(REPLACE "ListenStream=" "" QVP_DEB_SOCKET "${QVP_DEB_SOCKET}")

# qvp_site_snippet(template output): the part of deploy/`template` between its
# "site snippet" marker lines, with @SOCKET@ filled in, written to `output`.
function(qvp_site_snippet template output)
  set(path ${QVP_DEPLOY_DIR}/${template})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
  file(READ ${path} text)
  if(NOT text MATCHES "\n([ ]*)# -- site snippet begin --\n(.*\n)[ ]*# -- site snippet end --")
    message(FATAL_ERROR "${path}: no site snippet markers")
  endif()
  set(indent "${CMAKE_MATCH_1}")
  string(REPLACE "@SOCKET@" "${QVP_DEB_SOCKET}" snippet "${CMAKE_MATCH_2}")
  if(indent)  # lines lose the begin marker's indentation
    string(REGEX REPLACE "(^|\n)${indent}" "\\1" snippet "${snippet}")
  endif()
  if(snippet MATCHES "@[A-Z_]+@")
    message(FATAL_ERROR "${path}: the site snippet has a field besides @SOCKET@")
  endif()
  file(WRITE ${output} "# libqvp: /qvp/ served by the pool at ${QVP_DEB_SOCKET} "
    "(qvp-nc.socket); from ${template}.\n${snippet}")
endfunction()
qvp_site_snippet(lighttpd-scgi.conf.in ${QVP_DEB_DIR}/50-qvp.conf)
qvp_site_snippet(nginx-scgi.conf.in ${QVP_DEB_DIR}/qvp.conf)

set(QVP_HANDLER_PATH ${QVP_DEB_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/qvp/qvp_nc_handler)
configure_file(${QVP_DEPLOY_DIR}/qvp-nc.service.in ${QVP_DEB_DIR}/qvp-nc.service @ONLY)

# Files at absolute places: only in the package (EXCLUDE_FROM_ALL keeps them
# out of `cmake --install`). Everything under /etc is a conffile.
set(QVP_CONFFILES /etc/qvp/handlers.conf /etc/default/qvp
  /etc/lighttpd/conf-available/50-qvp.conf /etc/nginx/snippets/qvp.conf)
string(REPLACE ";" "\n" QVP_CONFFILES "${QVP_CONFFILES}")
file(WRITE ${QVP_DEB_DIR}/conffiles "${QVP_CONFFILES}\n")
set(QVP_DEB_ONLY COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/share/qvp/handlers.conf DESTINATION /etc/qvp ${QVP_DEB_ONLY})
install(FILES ${QVP_DEPLOY_DIR}/qvp.default DESTINATION /etc/default RENAME qvp ${QVP_DEB_ONLY})
install(FILES ${QVP_DEB_DIR}/50-qvp.conf DESTINATION /etc/lighttpd/conf-available ${QVP_DEB_ONLY})
install(FILES ${QVP_DEB_DIR}/qvp.conf DESTINATION /etc/nginx/snippets ${QVP_DEB_ONLY})
install(FILES ${QVP_DEPLOY_DIR}/qvp-nc.socket ${QVP_DEB_DIR}/qvp-nc.service
  DESTINATION ${QVP_UNIT_DIR} ${QVP_DEB_ONLY})

set(CPACK_PACKAGE_NAME qvp)
set(CPACK_PACKAGE_VENDOR "libqvp")
set(CPACK_PACKAGE_CONTACT "libqvp maintainers <libqvp@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${QVP_DEB_PREFIX})
set(CPACK_COMPONENTS_ALL runtime system dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_QVP_PACKAGE_NAME qvp)
set(CPACK_DEBIAN_QVP_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_QVP_PACKAGE_SUGGESTS "nginx | lighttpd")
# Descriptions: the summary line, then the text that dpkg shows below it.
set(CPACK_DEBIAN_QVP_DESCRIPTION "netCDF data sets on the web: handler pool, dispatcher, libraries
qvp_nc_handler serves the netCDF files of a directory as a resident pool
behind lighttpd or nginx (socket-activated by qvp-nc.socket), or per
request through the CGI dispatcher qvp_dispatch. With the libraries libqvp
and libqvpserver.")
set(CPACK_DEBIAN_QVP_PACKAGE_CONTROL_EXTRA ${QVP_DEB_DIR}/conffiles
  ${QVP_DEPLOY_DIR}/debian/postinst ${QVP_DEPLOY_DIR}/debian/prerm
  ${QVP_DEPLOY_DIR}/debian/postrm)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqvp-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files of libqvp and libqvpserver
The headers, pkg-config files and CMake package (find_package(libqvp)) for
writing data handlers.")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "qvp (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")

include(CPack)
cpack_add_component_group(qvp)
cpack_add_component_group(dev)
cpack_add_component(runtime GROUP qvp)
cpack_add_component(system GROUP qvp)
cpack_add_component(dev GROUP dev)
