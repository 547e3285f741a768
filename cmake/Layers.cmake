# Each folder of the program is a static library of its own that names the folders it uses.
# An #include of another folder's header that its folder's layers do not name fails the build
# (cmake/CheckLayers.cmake), so the layers written in the README hold.

# The whole program without windows, and with them, for the executables and the tests.
add_library(ferrymail_core INTERFACE)
add_library(ferrymail_gui INTERFACE)
target_link_libraries(ferrymail_gui INTERFACE ferrymail_core)

set(FERRYMAIL_LAYER_TABLE ${PROJECT_BINARY_DIR}/layers.txt)
file(WRITE ${FERRYMAIL_LAYER_TABLE} "")

# ferrymail_layer(<name> [WIDGETS] [DEPENDS <layer>...]): the library ferrymail_<name> for the
# sources of the current folder. WIDGETS: it needs Qt Widgets and belongs to ferrymail_gui.
function(ferrymail_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 LAYER "WIDGETS" "" "DEPENDS")
    add_library(ferrymail_${name} STATIC)
    target_include_directories(ferrymail_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(ferrymail_${name} PUBLIC Qt6::Core)
    foreach(dependency IN LISTS LAYER_DEPENDS)
        target_link_libraries(ferrymail_${name} PUBLIC ferrymail_${dependency})
    endforeach()
    if(LAYER_WIDGETS)
        target_link_libraries(ferrymail_${name} PUBLIC Qt6::Widgets)
        target_link_libraries(ferrymail_gui INTERFACE ferrymail_${name})
    else()
        target_link_libraries(ferrymail_core INTERFACE ferrymail_${name})
    endif()
    add_dependencies(ferrymail_${name} ferrymail_layer_check)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE ";" "," dependencies "${LAYER_DEPENDS}")
    file(APPEND ${FERRYMAIL_LAYER_TABLE} "${name} ${folder} ${dependencies}\n")
endfunction()

# Runs once every layer is known; again whenever a source of a layer, a test or a benchmark
# changes.
function(ferrymail_check_layers)
    file(STRINGS ${FERRYMAIL_LAYER_TABLE} rows)
    set(patterns "")
    foreach(folder IN LISTS rows ITEMS "- tests" "- bench")
        string(REPLACE " " ";" fields "${folder}")
        list(GET fields 1 folder)
        foreach(extension h hpp cpp)
            list(APPEND patterns ${PROJECT_SOURCE_DIR}/${folder}/*.${extension})
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES patterns)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${patterns})
    set(stamp ${PROJECT_BINARY_DIR}/layers.checked)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DTABLE=${FERRYMAIL_LAYER_TABLE} -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
        DEPENDS ${sources} ${FERRYMAIL_LAYER_TABLE} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
        COMMENT "Checking that every folder includes only the folders it names"
        VERBATIM)
    add_custom_target(ferrymail_layer_check DEPENDS ${stamp})
endfunction()
