# The rule that lets a reader tell a file's kind from its name (src/README.md):
#  - MainFrame*.cpp files hold the main frame's own code for one subject and include frame/MainFrame.h;
#  - a file named after a window class (the application object, the view, a dialog) may include it too;
#  - every other file is window-free or a widget helper and never includes it.
# The window-free library is compiled without the widget headers, so the compiler already keeps widgets
# out of it; this check keeps the main frame out of every file whose name does not admit it.
cmake_minimum_required(VERSION 3.25)
if(NOT SRC)
    message(FATAL_ERROR "usage: cmake -DSRC=<src folder> -P HouseRules.cmake")
endif()

get_filename_component(SRC "${SRC}" ABSOLUTE)
set(window_classes app/OcuViewerApp.cpp display/OcuViewerView.cpp)
file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.cpp ${SRC}/*.h)
set(failures "")
foreach(file IN LISTS sources)
    get_filename_component(name ${file} NAME)
    file(STRINGS ${SRC}/${file} includes REGEX "^#include \"frame/MainFrame.h\"")
    set(frame_file FALSE)
    if(name MATCHES "^MainFrame")
        set(frame_file TRUE)
    endif()
    set(window_class FALSE)
    if(file IN_LIST window_classes OR name MATCHES "Dlg\\.(cpp|h)$")
        set(window_class TRUE)
    endif()
    if(frame_file AND NOT file STREQUAL "frame/MainFrame.h" AND NOT includes)
        string(APPEND failures "  ${file}: named for the main frame but does not include frame/MainFrame.h\n")
    endif()
    if(includes AND NOT frame_file AND NOT window_class)
        string(APPEND failures "  ${file}: includes frame/MainFrame.h but its name says it is window-free\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "Files that break the naming rule:\n${failures}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files follow the naming rule")
