# zs_include_modules(TARGET MODULE...): the only top-level folders the
# target's sources and its dependents may include ("core/...", "platform/...").
# Each target gets a folder of links to exactly those modules, so an include
# the layering does not allow fails the build. Headers generated into
# ZS_GENERATED_DIR/<module>/ (core/version.hpp) come with their module.
set(ZS_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
function(zs_include_modules target)
    set(dir ${CMAKE_BINARY_DIR}/include/${target})
    file(MAKE_DIRECTORY ${dir})
    foreach(module IN LISTS ARGN)
        if(NOT EXISTS ${dir}/${module})
            file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${module} ${dir}/${module} SYMBOLIC)
        endif()
    endforeach()
    set(dirs ${dir})
    if("core" IN_LIST ARGN)
        list(APPEND dirs ${ZS_GENERATED_DIR})
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        target_include_directories(${target} PRIVATE ${dirs})
    else()
        target_include_directories(${target} PUBLIC ${dirs})
    endif()
endfunction()
