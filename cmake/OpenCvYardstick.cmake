# OpenCV as the yardstick of the raw-image library's benchmark and quality tool, found from the Debian
# packages libopencv-imgproc-dev and libopencv-imgcodecs-dev alone (their CMake package files come only
# with the much larger libopencv-dev). Defines the imported targets OpenCV::imgproc and, when its
# library is there, OpenCV::imgcodecs; nothing else in the project may link them.
if(TARGET OpenCV::imgproc)
    return()
endif()
find_path(OCU_OPENCV_INCLUDE_DIR opencv2/imgproc.hpp PATH_SUFFIXES opencv4)
find_library(OCU_OPENCV_CORE opencv_core)
find_library(OCU_OPENCV_IMGPROC opencv_imgproc)
find_library(OCU_OPENCV_IMGCODECS opencv_imgcodecs)
mark_as_advanced(OCU_OPENCV_INCLUDE_DIR OCU_OPENCV_CORE OCU_OPENCV_IMGPROC OCU_OPENCV_IMGCODECS)
if(EXISTS "${OCU_OPENCV_INCLUDE_DIR}/opencv2/imgproc.hpp" AND OCU_OPENCV_CORE AND OCU_OPENCV_IMGPROC)
    add_library(OpenCV::core UNKNOWN IMPORTED)
    set_target_properties(OpenCV::core PROPERTIES IMPORTED_LOCATION ${OCU_OPENCV_CORE}
                                                  INTERFACE_INCLUDE_DIRECTORIES ${OCU_OPENCV_INCLUDE_DIR})
    add_library(OpenCV::imgproc UNKNOWN IMPORTED)
    set_target_properties(OpenCV::imgproc PROPERTIES IMPORTED_LOCATION ${OCU_OPENCV_IMGPROC}
                                                     INTERFACE_LINK_LIBRARIES OpenCV::core)
    if(OCU_OPENCV_IMGCODECS AND EXISTS ${OCU_OPENCV_INCLUDE_DIR}/opencv2/imgcodecs.hpp)
        add_library(OpenCV::imgcodecs UNKNOWN IMPORTED)
        set_target_properties(OpenCV::imgcodecs PROPERTIES IMPORTED_LOCATION ${OCU_OPENCV_IMGCODECS}
                                                           INTERFACE_LINK_LIBRARIES OpenCV::core)
    endif()
endif()
