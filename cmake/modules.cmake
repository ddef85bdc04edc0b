# zs_include_modules(TARGET MODULE...): the only top-level folders the
# target's sources and its dependents may include ("core/...", "platform/...").
# Each target gets a folder of links to exactly those modules, so an include
# the layering does not allow fails the build.
function(zs_include_modules target)
    set(dir ${CMAKE_BINARY_DIR}/include/${target})
    file(MAKE_DIRECTORY ${dir})
    foreach(module IN LISTS ARGN)
        if(NOT EXISTS ${dir}/${module})
            file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${module} ${dir}/${module} SYMBOLIC)
        endif()
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        target_include_directories(${target} PRIVATE ${dir})
    else()
        target_include_directories(${target} PUBLIC ${dir})
    endif()
endfunction()
