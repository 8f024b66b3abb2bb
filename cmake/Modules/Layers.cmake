# The product's layers, lowest first. Each is a folder and the static library updater_<folder>,
# and names every layer it stands on: its code includes headers of its own folder and of those
# alone, and it links exactly those, with the Qt modules named. One table, so the links and the
# include check cannot differ.
set(UPDATER_LAYERS core singleinstance appearance update window app)
# Limits, product paths, the update log, resource paths: Qt Core alone.
set(UPDATER_BELOW_core "")
set(UPDATER_QT_core Core)
# The single-instance guard: one updater per user session; later starts hand over to it.
set(UPDATER_BELOW_singleinstance core)
set(UPDATER_QT_singleinstance Network Widgets)
# The settings store, themes and the frameless window shell.
set(UPDATER_BELOW_appearance core)
set(UPDATER_QT_appearance Widgets Svg)
# The version request, its reply and check, the release notes' text, and the installer's
# download, checks and start: no widgets.
set(UPDATER_BELOW_update core)
set(UPDATER_QT_update Core Network)
# The main window and its form: shows what update/ finds and does.
set(UPDATER_BELOW_window update appearance core)
set(UPDATER_QT_window Widgets)
# The command line and main(), which builds the guard and the window.
set(UPDATER_BELOW_app window singleinstance update appearance core)
set(UPDATER_QT_app Widgets)
# Folders of the checkout that are no layer: nothing that ships may include from them.
set(UPDATER_NOT_LAYERS tests fixtures tools bench resources)

# updater_layer(<folder> <sources...>)
# Makes the library updater_<folder>, linked to the layers and the Qt modules of the table. Which
# headers it may include is checked by updater_check_layers, at configure and by tst_layers.
function(updater_layer layer)
    set(target updater_${layer})
    add_library(${target} STATIC ${ARGN})
    foreach(below IN LISTS UPDATER_BELOW_${layer})
        target_link_libraries(${target} PUBLIC updater_${below})
    endforeach()
    foreach(module IN LISTS UPDATER_QT_${layer})
        target_link_libraries(${target} PUBLIC Qt6::${module})
    endforeach()
    target_link_libraries(${target} PUBLIC updater_flags)
    target_compile_definitions(${target} PRIVATE ${GLIMMERPANE_STRICT_QT_DEFINITIONS})

    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# updater_check_layers(<source dir>)
# Fails with every #include "<folder>/..." in a layer's files that names a folder the layer does
# not stand on. Runs at configure, and from the test tst_layers (cmake -P) after edits.
function(updater_check_layers source_dir)
    set(faults "")
    foreach(layer IN LISTS UPDATER_LAYERS)
        set(allowed ${layer} ${UPDATER_BELOW_${layer}})
        file(GLOB_RECURSE files RELATIVE ${source_dir}
            ${source_dir}/${layer}/*.h ${source_dir}/${layer}/*.cpp)
        list(SORT files)
        foreach(file IN LISTS files)
            file(STRINGS ${source_dir}/${file} includes
                REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/[^\"]*\"")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
                if(NOT folder IN_LIST allowed
                   AND (folder IN_LIST UPDATER_LAYERS OR folder IN_LIST UPDATER_NOT_LAYERS))
                    string(STRIP "${line}" line)
                    string(REPLACE ";" " " below "${UPDATER_BELOW_${layer}}")
                    if(below STREQUAL "")
                        set(below "nothing")
                    endif()
                    string(APPEND faults "\n  ${file}: ${line}\n"
                        "    (${layer}/ stands on ${below}; ${folder}/ is not below it)")
                endif()
            endforeach()
        endforeach()
    endforeach()
    if(faults)
        message(FATAL_ERROR "A layer includes a header of a higher or unrelated folder:${faults}\n"
            "Move the code down, or the include up: see the layer table in "
            "cmake/Modules/Layers.cmake.")
    endif()
endfunction()
