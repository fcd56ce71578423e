# The programs' Windows manifest (packaging/windows/zendra.manifest): the UTF-8 code
# page, so that the command line and the C library's file calls carry UTF-8 as
# the programs keep it. MSVC's linker embeds a .manifest source itself; MinGW
# takes it as a resource (type 24, RT_MANIFEST; id 1, the program's own).
set(ZENDRA_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/zendra.manifest)
if(WIN32 AND NOT MSVC)
  enable_language(RC)
  set(ZENDRA_MANIFEST_RC ${PROJECT_BINARY_DIR}/zendra-manifest.rc)
  file(WRITE ${ZENDRA_MANIFEST_RC} "1 24 \"${ZENDRA_MANIFEST}\"\n")
endif()

function(zendra_windows_manifest target)
  if(NOT WIN32)
    return()
  endif()
  if(MSVC)
    target_sources(${target} PRIVATE ${ZENDRA_MANIFEST})
  else()
    target_sources(${target} PRIVATE ${ZENDRA_MANIFEST_RC})
  endif()
endfunction()
