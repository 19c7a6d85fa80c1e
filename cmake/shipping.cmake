# Where `cmake --install` puts things. On Windows the installed folder is the
# programs' root: bin\, the catalogs under etc\nls\locale, the documentation in
# doc\. On other hosts everything goes into a root of its own under the prefix
# (lib/zav), so that the programs never shadow the system's rm and rmdir; the
# catalogs lie where the default NLSPATH template finds them when ROOTDIR names
# that root.
include(GNUInstallDirs)
if(WIN32)
  set(ZAV_INSTALL_ROOT .)
  set(ZAV_INSTALL_DOC doc)
else()
  set(ZAV_INSTALL_ROOT lib/zav)
  set(ZAV_INSTALL_DOC ${CMAKE_INSTALL_DATAROOTDIR}/doc/zav-rm)
endif()
set(ZAV_INSTALL_BIN ${ZAV_INSTALL_ROOT}/bin)
set(ZAV_INSTALL_CATALOGS ${ZAV_INSTALL_ROOT}/etc/nls/locale)
set(ZAV_INSTALL_MAN ${ZAV_INSTALL_ROOT}/share/man)
set(ZAV_INSTALL_NLS_SOURCES ${ZAV_INSTALL_ROOT}/share/nls)

set(ZAV_COPYRIGHT "Copyright (C) 2026 the zav-rm developers")

# A program that ships: installed, and on Windows given a version resource and an
# application manifest (run as the invoker, the supported systems, UTF-8 as the
# process's ANSI and OEM code page where the system honours it).
function(zav_program target description)
  install(TARGETS ${target} DESTINATION ${ZAV_INSTALL_BIN})
  if(WIN32)
    set(ZAV_PROGRAM ${target})
    set(ZAV_DESCRIPTION "${description}")
    set(ZAV_MANIFEST ${CMAKE_SOURCE_DIR}/cmake/program.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${ZAV_MANIFEST})
  endif()
endfunction()
