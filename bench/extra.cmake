# marshaller_bench compares the XDR marshallers with libtirpc's XDR routines
# (Debian libtirpc-dev); without them it measures against memcpy alone.
find_package(PkgConfig QUIET)
if(TARGET marshaller_bench AND PKG_CONFIG_FOUND)
  pkg_check_modules(QVP_TIRPC QUIET IMPORTED_TARGET libtirpc)
  if(QVP_TIRPC_FOUND)
    target_link_libraries(marshaller_bench PRIVATE PkgConfig::QVP_TIRPC)
    target_compile_definitions(marshaller_bench PRIVATE QVP_HAVE_TIRPC=1)
  endif()
endif()
