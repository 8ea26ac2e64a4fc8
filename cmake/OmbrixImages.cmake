# The program's images (gauge dials, rim, barometer dial, icon, window buttons), committed under
# resources/images and listed in resources/images/images.qrc.

set(OMBRIX_IMAGES_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources/images)
cmake_path(NORMAL_PATH OMBRIX_IMAGES_DIR)

# Compiles the images into <target> as Qt resources under their fixed paths
# (":/gauge_back_plate_new.png", ":/Resources/settings.png", ...). For executables and shared
# libraries, whose resources register themselves when they are loaded.
function(ombrix_add_image_resources target)
    target_sources(${target} PRIVATE ${OMBRIX_IMAGES_DIR}/images.qrc)
    set_target_properties(${target} PROPERTIES AUTORCC ON)
endfunction()

# The generator that draws the images, built and run only on request:
#   cmake --build build --target ombrix_images
# rewrites the PNG files in resources/images (see tools/images/README.md).
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(ombrix_image_generator EXCLUDE_FROM_ALL
    ${CMAKE_CURRENT_LIST_DIR}/../tools/images/PlateGeometry.h
    ${CMAKE_CURRENT_LIST_DIR}/../tools/images/ImageGenerator.cpp
)
target_link_libraries(ombrix_image_generator PRIVATE Qt6::Gui)
add_custom_target(ombrix_images
    COMMAND ombrix_image_generator ${OMBRIX_IMAGES_DIR}
    COMMENT "Drawing the resource images into ${OMBRIX_IMAGES_DIR}"
    VERBATIM
)
