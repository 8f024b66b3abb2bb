# cmake -DSOURCE_DIR=<checkout> -P checklayers.cmake: the configure-time layer check, run again
# by the test tst_layers so that an include added since the last configure is caught too.
cmake_minimum_required(VERSION 3.21)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/Modules)
include(Layers)
updater_check_layers(${SOURCE_DIR})
