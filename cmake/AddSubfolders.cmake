# Adds every direct sub-folder of the current source folder that has a CMakeLists.txt, so a
# new folder of tests or benchmarks needs no registration.
function(add_subfolders_with_cmakelists)
    file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(dir IN LISTS entries)
        if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
            add_subdirectory(${dir})
        endif()
    endforeach()
endfunction()
