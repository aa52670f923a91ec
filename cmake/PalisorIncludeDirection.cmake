cmake_policy(VERSION 3.25)

# The folders' direction under agent/. The model names no window, and the
# interface folders include each other without a circle: app may include any
# of them, mainwindow the editors, set-up and alerts it opens, and those three
# no other interface folder. A call that would run the other way is a signal
# connected in MainInterface. A form's custom widget header and a form's
# generated ui_ header are includes too.
#
# Run at configure (included from agent/CMakeLists.txt) and again at build
# time whenever a source under agent/ changes (cmake -P with
# PALISOR_AGENT_DIR set), so an include added to an existing file stops the
# build too.
set(PALISOR_INTERFACE_FOLDERS app alerts mainwindow ruleeditors setup)
set(PALISOR_MAY_INCLUDE_core)
set(PALISOR_MAY_INCLUDE_daemonlink)
set(PALISOR_MAY_INCLUDE_app ${PALISOR_INTERFACE_FOLDERS})
set(PALISOR_MAY_INCLUDE_mainwindow ruleeditors setup alerts)
set(PALISOR_MAY_INCLUDE_ruleeditors)
set(PALISOR_MAY_INCLUDE_setup)
set(PALISOR_MAY_INCLUDE_alerts)

function(palisor_check_include_direction)
    string(JOIN "|" interface_folders ${PALISOR_INTERFACE_FOLDERS})
    # A generated ui_X.h belongs to the folder of X.ui.
    file(GLOB forms ${PALISOR_AGENT_DIR}/*/*.ui)
    foreach(form ${forms})
        get_filename_component(form_name ${form} NAME_WE)
        get_filename_component(form_dir ${form} DIRECTORY)
        get_filename_component(form_folder ${form_dir} NAME)
        set(form_folder_${form_name} ${form_folder})
    endforeach()

    set(offences)
    foreach(folder core daemonlink ${PALISOR_INTERFACE_FOLDERS})
        file(GLOB_RECURSE sources ${PALISOR_AGENT_DIR}/${folder}/*.cpp
            ${PALISOR_AGENT_DIR}/${folder}/*.h ${PALISOR_AGENT_DIR}/${folder}/*.ui)
        foreach(source ${sources})
            file(RELATIVE_PATH source_name ${PALISOR_AGENT_DIR} ${source})
            file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include|<header>")
            foreach(line ${lines})
                if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
                    set(included ${CMAKE_MATCH_1})
                elseif(line MATCHES "<header>[ \t]*([^< \t]+)[ \t]*</header>")
                    set(included ${CMAKE_MATCH_1})
                else()
                    continue()
                endif()
                set(target)
                if(included MATCHES "^(${interface_folders})/")
                    set(target ${CMAKE_MATCH_1})
                elseif(included MATCHES "^ui_(.+)\\.h$")
                    set(target ${form_folder_${CMAKE_MATCH_1}})
                endif()
                if(NOT target)
                    continue()
                endif()
                if(target STREQUAL folder OR target IN_LIST PALISOR_MAY_INCLUDE_${folder})
                    continue()
                endif()
                list(APPEND offences "  ${source_name}: ${included} (${folder}/ may not include ${target}/)")
            endforeach()
        endforeach()
    endforeach()
    if(offences)
        list(JOIN offences "\n" offences)
        message(FATAL_ERROR "Includes against the folders' direction:\n${offences}\n"
            "The model includes no interface folder; app may include any, mainwindow may include "
            "ruleeditors, setup and alerts, and those three no other. Make the call a signal "
            "connected in MainInterface.")
    endif()
endfunction()
palisor_check_include_direction()
