# Images of the start-up tests (tests/startup_e2e_test.cpp): application
# classes built by image code, the Run event, the exit code, the unhandled
# path.
foreach(image startup_run_result startup_quit startup_no_run startup_args startup_raise
              startup_own_console_class)
  quendal_test_image(${image} ${image}.c)
  add_custom_command(OUTPUT ${QUENDAL_TEST_IMAGE_DIR}/${image}/image.bin APPEND
                     DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/images/startup_rt.h)
endforeach()
