# qv_library(<target> [QT <components...>] [LINK <targets...>])
# One static library per source folder. Sources are every *.cpp/*.h in the
# folder itself (not in subfolders); *.qrc files are added as resources.
function(qv_library target)
    cmake_parse_arguments(ARG "" "" "QT;LINK" ${ARGN})
    file(GLOB _srcs CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    if(NOT _srcs)
        set(_srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
    endif()
    add_library(${target} STATIC ${_srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
    foreach(_c IN LISTS ARG_QT)
        target_link_libraries(${target} PUBLIC Qt6::${_c})
    endforeach()
    if(ARG_LINK)
        target_link_libraries(${target} PUBLIC ${ARG_LINK})
    endif()
endfunction()
