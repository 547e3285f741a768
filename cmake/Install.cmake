# `cmake --install`: the program, its desktop entry, metadata and icons, its manual page, and
# the copyright, changelog and lintian overrides a Debian package carries.
include(GNUInstallDirs)

# Debian's place, named after the package rather than the project's capitalised name.
set(ferrymail_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/ferrymail)

install(TARGETS ferrymail RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package's) also drops the compiler's notes, as Debian's own do.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
            \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/ferrymail
            COMMAND_ERROR_IS_FATAL ANY)
    endif()")

install(FILES ${PROJECT_SOURCE_DIR}/resources/ferrymail.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/io.github.ferrymail.ferrymail.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size IN ITEMS 16 32 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/ferrymail-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ferrymail.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/src/ferrymail.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and changelogs are installed gzipped; -n keeps the build time out of the
# archive so that the same sources give the same package.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(gzipped_dir ${PROJECT_BINARY_DIR}/gzipped)
set(gzipped_files)
function(install_gzipped source destination)
    get_filename_component(name ${source} NAME)
    set(gzipped ${gzipped_dir}/${name}.gz)
    add_custom_command(OUTPUT ${gzipped}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${gzipped_dir}/${name}
        COMMAND ${GZIP_PROGRAM} -9nf ${gzipped_dir}/${name}
        DEPENDS ${source}
        VERBATIM)
    set(gzipped_files ${gzipped_files} ${gzipped} PARENT_SCOPE)
    install(FILES ${gzipped} DESTINATION ${destination})
endfunction()

install_gzipped(${PROJECT_SOURCE_DIR}/docs/ferrymail.1 ${CMAKE_INSTALL_MANDIR}/man1)
install_gzipped(${PROJECT_SOURCE_DIR}/resources/debian/changelog ${ferrymail_docdir})
add_custom_target(ferrymail_gzipped ALL DEPENDS ${gzipped_files})

install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright DESTINATION ${ferrymail_docdir})
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ferrymail)
