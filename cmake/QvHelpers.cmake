# qv_library(<target> [DIR <folder>] [QT <components...>] [LINK <targets...>])
# One static library per source folder (DIR, relative to the calling
# CMakeLists.txt; the folder itself when not given). Sources are every
# *.cpp/*.h in that folder (not in subfolders); *.qrc files are added as
# resources.
function(qv_library target)
    cmake_parse_arguments(ARG "" "DIR" "QT;LINK" ${ARGN})
    set(_dir ${CMAKE_CURRENT_SOURCE_DIR})
    if(ARG_DIR)
        set(_dir ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR})
    endif()
    file(GLOB _srcs CONFIGURE_DEPENDS ${_dir}/*.cpp ${_dir}/*.h ${_dir}/*.qrc)
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
    set_property(GLOBAL APPEND PROPERTY QV_LIBRARIES ${target})
endfunction()

# qv_feature(<name> [CORE_QT <components...>] [CORE_LINK <targets...>]
#            [UI_LINK <targets...>])
# A capability folder: `core/` becomes qv_<name>_core (Qt Core, and Gui
# where CORE_QT names it; never Widgets) over the catalogue, `ui/` becomes
# qv_<name>_ui (widgets) over the shared window library and the core.
function(qv_feature name)
    cmake_parse_arguments(ARG "" "" "CORE_QT;CORE_LINK;UI_LINK" ${ARGN})
    set(_qt Core ${ARG_CORE_QT})
    foreach(_c IN LISTS _qt)
        if(_c STREQUAL "Widgets" OR _c STREQUAL "PrintSupport")
            message(FATAL_ERROR "qv_${name}_core: a feature core does not use Qt ${_c}")
        endif()
    endforeach()
    qv_library(qv_${name}_core DIR core QT ${_qt} LINK qv_catalogue ${ARG_CORE_LINK})
    set_property(GLOBAL APPEND PROPERTY QV_CORE_LIBRARIES qv_${name}_core)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/ui)
        qv_library(qv_${name}_ui DIR ui QT Core Gui Widgets PrintSupport
                   LINK qv_ui qv_${name}_core ${ARG_UI_LINK})
    endif()
endfunction()

# Writes, for the test that keeps feature cores free of widgets, every
# library's direct link list into <file> as CMake script.
function(qv_write_link_graph file)
    get_property(_libs GLOBAL PROPERTY QV_LIBRARIES)
    get_property(_cores GLOBAL PROPERTY QV_CORE_LIBRARIES)
    set(_text "set(QV_CORE_LIBRARIES \"${_cores}\")\n")
    foreach(_t IN LISTS _libs)
        get_target_property(_links ${_t} LINK_LIBRARIES)
        if(NOT _links)
            set(_links "")
        endif()
        string(APPEND _text "set(QV_LINKS_${_t} \"${_links}\")\n")
    endforeach()
    file(WRITE ${file} "${_text}")
endfunction()
