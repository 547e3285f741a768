# `cmake --install`: the program, its desktop entry, and its icon in the sizes drawn for it.
include(GNUInstallDirs)

install(TARGETS ferrymail RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/resources/ferrymail.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size IN ITEMS 16 32 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/ferrymail-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ferrymail.png)
endforeach()
